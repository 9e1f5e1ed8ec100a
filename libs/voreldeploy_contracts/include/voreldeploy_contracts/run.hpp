#pragma once
// Deployment runs: one execution of an approved plan, its per-step results
// and the signed, hash-chained record of its transitions. Runs are only
// ever written by this system; their readers exist because every document
// type declares both directions at once.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "vorelcore_audit/event.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_contracts::run {

enum class RunStatus : std::uint8_t {
    Queued,
    WaitingApproval,
    Running,
    Succeeded,
    Failed,
    Cancelled,
    RolledBack,
    BlockedByPolicy,
};

// The result of executing or verifying one step. Adapters produce
// `Applied`, `Verified` and `Failed`; `Skipped` keeps its document form.
struct Applied {
    friend bool operator==(const Applied&, const Applied&) = default;
};
struct Verified {
    friend bool operator==(const Verified&, const Verified&) = default;
};
struct Skipped {
    std::string reason;
    friend bool operator==(const Skipped&, const Skipped&) = default;
};
struct Failed {
    std::string reason_redacted;  // carries no secret material
    friend bool operator==(const Failed&, const Failed&) = default;
};

using StepOutcome = std::variant<Applied, Verified, Skipped, Failed>;

// The "outcome" spellings, in variant order.
inline constexpr std::array<std::string_view, 4> kStepOutcomeNames{"applied", "verified", "skipped", "failed"};
static_assert(kStepOutcomeNames.size() == std::variant_size_v<StepOutcome>);

struct StepResult {
    std::uint64_t step_index = 0;  // zero-based index of the step in the plan
    std::string step_label;        // the step kind's "kind" spelling
    StepOutcome outcome;
    vorelcore_contracts::time::Timestamp started_at;
    vorelcore_contracts::time::Timestamp completed_at;

    friend bool operator==(const StepResult&, const StepResult&) = default;
};

struct DeploymentRun {
    ids::RunId id;
    vorelcore_contracts::ids::TenantId tenant_id;        // copied from the plan
    vorelcore_contracts::ids::WorkspaceId workspace_id;  // copied from the plan
    ids::PlanId plan_id;
    ids::EnvironmentId environment_id;     // copied from the plan
    ids::ManifestId release_manifest_id;   // copied from the plan
    RunStatus status = RunStatus::Queued;
    std::optional<vorelcore_contracts::time::Timestamp> started_at;
    std::optional<vorelcore_contracts::time::Timestamp> completed_at;  // set on succeeded or failed
    // Index of the next step to record; the number of steps once succeeded.
    std::uint64_t current_step = 0;
    std::vector<StepResult> step_results;  // in recording order
    std::optional<std::string> redacted_error;  // the failed step's reason
    std::optional<ids::RollbackPlanId> rollback_plan_id;
    std::optional<ids::EvidenceId> evidence_ref;
    // Every run transition as a signed record of one hash chain.
    std::vector<vorelcore_audit::event::SignedAuditEvent> transitions;

    friend bool operator==(const DeploymentRun&, const DeploymentRun&) = default;
};

}  // namespace voreldeploy_contracts::run

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::run::RunStatus> {
    using E = voreldeploy_contracts::run::RunStatus;
    static constexpr std::string_view type_name = "RunStatus";
    static constexpr std::array<EnumEntry<E>, 8> entries{{
        {E::Queued, "queued", "Queued"},
        {E::WaitingApproval, "waiting_approval", "WaitingApproval"},
        {E::Running, "running", "Running"},
        {E::Succeeded, "succeeded", "Succeeded"},
        {E::Failed, "failed", "Failed"},
        {E::Cancelled, "cancelled", "Cancelled"},
        {E::RolledBack, "rolled_back", "RolledBack"},
        {E::BlockedByPolicy, "blocked_by_policy", "BlockedByPolicy"},
    }};
};

template <>
struct vorelcore_json::InternallyTagged<voreldeploy_contracts::run::StepOutcome> {
    static constexpr std::string_view name = "StepOutcome";
    static constexpr std::string_view tag = "outcome";
    static constexpr auto variants = voreldeploy_contracts::run::kStepOutcomeNames;
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::run::Applied> {
    static constexpr std::string_view name = "Applied";
    static constexpr auto list = std::make_tuple();
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::run::Verified> {
    static constexpr std::string_view name = "Verified";
    static constexpr auto list = std::make_tuple();
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::run::Skipped> {
    using T = voreldeploy_contracts::run::Skipped;
    static constexpr std::string_view name = "Skipped";
    static constexpr auto list = std::make_tuple(field("reason", &T::reason));
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::run::Failed> {
    using T = voreldeploy_contracts::run::Failed;
    static constexpr std::string_view name = "Failed";
    static constexpr auto list = std::make_tuple(field("reason_redacted", &T::reason_redacted));
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::run::StepResult> {
    using T = voreldeploy_contracts::run::StepResult;
    static constexpr std::string_view name = "StepResult";
    static constexpr auto list =
        std::make_tuple(field("step_index", &T::step_index), field("step_label", &T::step_label),
                        field("outcome", &T::outcome), field("started_at", &T::started_at),
                        field("completed_at", &T::completed_at));
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::run::DeploymentRun> {
    using T = voreldeploy_contracts::run::DeploymentRun;
    static constexpr std::string_view name = "DeploymentRun";
    static constexpr auto list = std::make_tuple(
        field("id", &T::id), field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("plan_id", &T::plan_id), field("environment_id", &T::environment_id),
        field("release_manifest_id", &T::release_manifest_id), field("status", &T::status),
        field("started_at", &T::started_at), field("completed_at", &T::completed_at),
        field("current_step", &T::current_step), field_omit_empty("step_results", &T::step_results),
        field("redacted_error", &T::redacted_error), field("rollback_plan_id", &T::rollback_plan_id),
        field("evidence_ref", &T::evidence_ref), field_omit_empty("transitions", &T::transitions));
};
