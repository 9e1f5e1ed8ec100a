#pragma once
// Rollback plans.
#include <array>
#include <cstdint>

#include "vorelcore_json/enum_table.hpp"

namespace voreldeploy_contracts::rollback {

enum class RollbackStatus : std::uint8_t {
    Draft,
    WaitingApproval,
    Approved,
    Rejected,
    BlockedByPolicy,
    Executing,
    Succeeded,
    Failed,
};

}  // namespace voreldeploy_contracts::rollback

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::rollback::RollbackStatus> {
    using E = voreldeploy_contracts::rollback::RollbackStatus;
    static constexpr std::string_view type_name = "RollbackStatus";
    static constexpr std::array<EnumEntry<E>, 8> entries{{
        {E::Draft, "draft", "Draft"},
        {E::WaitingApproval, "waiting_approval", "WaitingApproval"},
        {E::Approved, "approved", "Approved"},
        {E::Rejected, "rejected", "Rejected"},
        {E::BlockedByPolicy, "blocked_by_policy", "BlockedByPolicy"},
        {E::Executing, "executing", "Executing"},
        {E::Succeeded, "succeeded", "Succeeded"},
        {E::Failed, "failed", "Failed"},
    }};
};
