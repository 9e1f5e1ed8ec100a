#pragma once
// Rollback is never improvised: the current release must declare the
// earlier one compatible, the rollback plan passes the same promotion gate
// (under its own action), and its execution is an ordinary run of an
// ordinary typed plan derived from the earlier release's manifest.
#include <expected>
#include <string>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/rollback.hpp"
#include "voreldeploy_contracts/run.hpp"
#include "voreldeploy_engine/error.hpp"

namespace voreldeploy_engine::rollback {

// A new draft rollback plan from `current` (deployed) back to `target`,
// refused with RollbackNotCompatible unless `current` lists `target`.
std::expected<voreldeploy_contracts::rollback::RollbackPlan, error::EngineError> draft_rollback_plan(
    const voreldeploy_contracts::manifest::ReleaseManifest& current,
    const voreldeploy_contracts::manifest::ReleaseManifest& target,
    voreldeploy_contracts::ids::EnvironmentId environment_id,
    voreldeploy_contracts::environment::EnvironmentType environment_type, std::string reason,
    vorelcore_contracts::ids::IdentityId created_by, const vorelcore_contracts::time::Timestamp& now);

// validate_target, apply_artifact for each of the manifest's artifacts in
// order, health_check of 30 s; drafted and marked cleared with the rollback
// plan's own decision and approval (no second evaluation).
std::expected<voreldeploy_contracts::plan::DeploymentPlan, error::EngineError> build_rollback_deployment_plan(
    const voreldeploy_contracts::rollback::RollbackPlan& rollback,
    const voreldeploy_contracts::manifest::ReleaseManifest& manifest, vorelcore_contracts::ids::IdentityId created_by,
    const vorelcore_contracts::time::Timestamp& now);

// Starts the run of the derived plan and marks the rollback executing; the
// rollback plan changes only when the run has really started.
std::expected<voreldeploy_contracts::run::DeploymentRun, error::EngineError> start_execution(
    voreldeploy_contracts::rollback::RollbackPlan& rollback, const voreldeploy_contracts::plan::DeploymentPlan& derived,
    const vorelcore_crypto::keys::SigningKey& key, const vorelcore_contracts::time::Timestamp& now);

}  // namespace voreldeploy_engine::rollback
