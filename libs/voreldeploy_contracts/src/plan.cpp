#include "voreldeploy_contracts/plan.hpp"

#include <algorithm>

namespace voreldeploy_contracts::plan {

std::expected<DeploymentPlan, error::ContractError> DeploymentPlan::draft(
    vorelcore_contracts::ids::TenantId tenant_id, vorelcore_contracts::ids::WorkspaceId workspace_id,
    ids::EnvironmentId environment_id, environment::EnvironmentType environment_type,
    ids::ManifestId release_manifest_id, std::vector<DeploymentStepKind> steps,
    vorelcore_contracts::ids::IdentityId created_by, vorelcore_contracts::time::Timestamp created_at) {
    if (steps.empty()) {
        return std::unexpected(error::ContractError{"steps", "a plan must contain at least one step"});
    }
    const auto any = [&]<class Kind>() {
        return std::ranges::any_of(steps, [](const DeploymentStepKind& s) { return std::holds_alternative<Kind>(s); });
    };
    DeploymentPlan plan;
    plan.contract_version = 1;
    plan.id = ids::PlanId::generate();
    plan.tenant_id = tenant_id;
    plan.workspace_id = workspace_id;
    plan.environment_id = environment_id;
    plan.environment_type = environment_type;
    plan.release_manifest_id = release_manifest_id;
    plan.risk_summary = RiskSummary{
        .step_count = steps.size(),
        .applies_migration = any.operator()<ApplyMigration>(),
        .scales_replicas = any.operator()<ScaleReplicas>(),
        .targets_production = environment_type == environment::EnvironmentType::Production,
    };
    plan.steps = std::move(steps);
    plan.status = PlanStatus::Draft;
    plan.created_by = created_by;
    plan.created_at = created_at;
    return plan;
}

}  // namespace voreldeploy_contracts::plan
