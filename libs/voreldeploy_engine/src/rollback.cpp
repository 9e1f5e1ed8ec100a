#include "voreldeploy_engine/rollback.hpp"

#include "voreldeploy_engine/plan.hpp"
#include "voreldeploy_engine/run.hpp"

namespace voreldeploy_engine::rollback {

using namespace voreldeploy_contracts;
namespace steps_of = voreldeploy_contracts::plan;
using voreldeploy_contracts::rollback::RollbackPlan;
using voreldeploy_contracts::rollback::RollbackStatus;

inline constexpr std::uint32_t kHealthCheckSeconds = 30;

std::expected<RollbackPlan, error::EngineError> draft_rollback_plan(
    const manifest::ReleaseManifest& current, const manifest::ReleaseManifest& target, ids::EnvironmentId environment_id,
    environment::EnvironmentType environment_type, std::string reason, vorelcore_contracts::ids::IdentityId created_by,
    const vorelcore_contracts::time::Timestamp& now) {
    if (!current.can_roll_back_to(target.id)) return std::unexpected(error::RollbackNotCompatible{});
    RollbackPlan plan;
    plan.id = ids::RollbackPlanId::generate();
    plan.environment_id = environment_id;
    plan.environment_type = environment_type;
    plan.from_release_manifest_id = current.id;
    plan.to_release_manifest_id = target.id;
    plan.reason_redacted = std::move(reason);
    plan.status = RollbackStatus::Draft;
    plan.created_by = created_by;
    plan.created_at = now;
    return plan;
}

std::expected<steps_of::DeploymentPlan, error::EngineError> build_rollback_deployment_plan(
    const RollbackPlan& rollback, const manifest::ReleaseManifest& manifest,
    vorelcore_contracts::ids::IdentityId created_by, const vorelcore_contracts::time::Timestamp& now) {
    if (rollback.status != RollbackStatus::Approved) return std::unexpected(error::RollbackNotApproved{rollback.status});
    if (manifest.id != rollback.to_release_manifest_id) return std::unexpected(error::RollbackNotCompatible{});

    std::vector<steps_of::DeploymentStepKind> steps;
    steps.reserve(manifest.artifacts.size() + 2);
    steps.emplace_back(steps_of::ValidateTarget{});
    for (const ids::ArtifactId& artifact : manifest.artifacts) steps.emplace_back(steps_of::ApplyArtifact{artifact});
    steps.emplace_back(steps_of::HealthCheck{kHealthCheckSeconds});
    if (auto valid = voreldeploy_engine::plan::validate_steps(steps); !valid) return std::unexpected(std::move(valid.error()));

    auto derived = steps_of::DeploymentPlan::draft(manifest.tenant_id, manifest.workspace_id, rollback.environment_id,
                                               rollback.environment_type, manifest.id, std::move(steps), created_by,
                                               now);
    if (!derived) return std::unexpected(error::EngineError(derived.error()));
    // The rollback plan's own clearance covers its execution.
    derived->status = steps_of::PlanStatus::Approved;
    derived->policy_decision_id = rollback.policy_decision_id;
    derived->approval = rollback.approval;
    derived->approved_at = now;
    return std::move(*derived);
}

std::expected<voreldeploy_contracts::run::DeploymentRun, error::EngineError> start_execution(RollbackPlan& rollback,
                                                                      const steps_of::DeploymentPlan& derived,
                                                                      const vorelcore_crypto::keys::SigningKey& key,
                                                                      const vorelcore_contracts::time::Timestamp& now) {
    if (rollback.status != RollbackStatus::Approved) return std::unexpected(error::RollbackNotApproved{rollback.status});
    auto started = voreldeploy_engine::run::start(derived, key, now);
    if (!started) return started;
    rollback.status = RollbackStatus::Executing;
    return started;
}

}  // namespace voreldeploy_engine::rollback
