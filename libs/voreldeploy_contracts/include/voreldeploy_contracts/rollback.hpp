#pragma once
// Rollback plans: a request to return an environment to an earlier release,
// approved on its own. A rollback plan carries no tenant or workspace; the
// deployment plan built from it takes them from the target manifest.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/environment.hpp"
#include "voreldeploy_contracts/ids.hpp"

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

struct RollbackPlan {
    ids::RollbackPlanId id;
    ids::EnvironmentId environment_id;
    // Drives the approval rule, as for a deployment plan.
    environment::EnvironmentType environment_type = environment::EnvironmentType::Development;
    ids::ManifestId from_release_manifest_id;  // the release currently deployed
    ids::ManifestId to_release_manifest_id;    // the release to return to
    std::string reason_redacted;               // the operator's reason, free of secrets
    RollbackStatus status = RollbackStatus::Draft;
    std::optional<vorelcore_contracts::ids::DecisionId> policy_decision_id;
    std::optional<approval::ApprovalRecord> approval;
    vorelcore_contracts::ids::IdentityId created_by;
    vorelcore_contracts::time::Timestamp created_at;
    std::optional<vorelcore_contracts::time::Timestamp> executed_at;

    friend bool operator==(const RollbackPlan&, const RollbackPlan&) = default;
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

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::rollback::RollbackPlan> {
    using T = voreldeploy_contracts::rollback::RollbackPlan;
    static constexpr std::string_view name = "RollbackPlan";
    static constexpr auto list = std::make_tuple(
        field("id", &T::id), field("environment_id", &T::environment_id),
        field("environment_type", &T::environment_type),
        field("from_release_manifest_id", &T::from_release_manifest_id),
        field("to_release_manifest_id", &T::to_release_manifest_id), field("reason_redacted", &T::reason_redacted),
        field("status", &T::status), field("policy_decision_id", &T::policy_decision_id),
        field("approval", &T::approval), field("created_by", &T::created_by), field("created_at", &T::created_at),
        field("executed_at", &T::executed_at));
};
