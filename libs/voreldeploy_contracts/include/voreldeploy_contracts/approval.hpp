#pragma once
// A human or workflow approval of a promotion.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_contracts::approval {

enum class ApprovalStatus : std::uint8_t { Pending, Approved, Rejected };

struct ApprovalRecord {
    ids::ApprovalId id;
    std::string workflow_ref;  // the approval's reference in the external workflow
    ApprovalStatus status = ApprovalStatus::Pending;
    vorelcore_contracts::ids::IdentityId requested_by;
    std::optional<vorelcore_contracts::ids::IdentityId> decided_by;
    vorelcore_contracts::time::Timestamp requested_at;
    std::optional<vorelcore_contracts::time::Timestamp> decided_at;
    std::optional<vorelcore_contracts::time::Timestamp> expires_at;  // absent: never expires

    // Only an approved record counts, and only up to and including the
    // instant it expires.
    bool is_usable_at(const vorelcore_contracts::time::Timestamp& at) const;

    friend bool operator==(const ApprovalRecord&, const ApprovalRecord&) = default;
};

}  // namespace voreldeploy_contracts::approval

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::approval::ApprovalStatus> {
    using E = voreldeploy_contracts::approval::ApprovalStatus;
    static constexpr std::string_view type_name = "ApprovalStatus";
    static constexpr std::array<EnumEntry<E>, 3> entries{{
        {E::Pending, "pending", "Pending"},
        {E::Approved, "approved", "Approved"},
        {E::Rejected, "rejected", "Rejected"},
    }};
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::approval::ApprovalRecord> {
    using T = voreldeploy_contracts::approval::ApprovalRecord;
    static constexpr std::string_view name = "ApprovalRecord";
    static constexpr auto list = std::make_tuple(
        field("id", &T::id), field("workflow_ref", &T::workflow_ref), field("status", &T::status),
        field("requested_by", &T::requested_by), field("decided_by", &T::decided_by),
        field("requested_at", &T::requested_at), field("decided_at", &T::decided_at),
        field("expires_at", &T::expires_at));
};
