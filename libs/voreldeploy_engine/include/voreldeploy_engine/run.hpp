#pragma once
// The run state machine. A run starts in `running` from an approved plan;
// the caller executes each step through an adapter and hands the outcome in,
// in plan order; the first failed step ends the run as `failed`, the last
// step done ends it as `succeeded`. Both are final. Every run-level
// transition (started, then completed or failed) is appended, signed, to
// the hash chain kept in the run's `transitions`; steps themselves are not
// audited. The engine never touches a target and never rolls back on its
// own.
#include <expected>
#include <span>

#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/run.hpp"
#include "voreldeploy_engine/error.hpp"

namespace voreldeploy_engine::run {

// A new `running` run of `plan` with a fresh id, its identifiers copied from
// the plan, `started_at` = `now` and one transition: the started event as
// record 1 of a new chain. A plan that is not approved is refused with
// PlanNotApproved before anything is created.
std::expected<voreldeploy_contracts::run::DeploymentRun, error::EngineError> start(
    const voreldeploy_contracts::plan::DeploymentPlan& plan, const vorelcore_crypto::keys::SigningKey& key,
    const vorelcore_contracts::time::Timestamp& now);

// Records the outcome of the step at `current_step`:
//
//   status     outcome                          becomes     also
//   running    applied/verified/skipped, more   running     current_step + 1
//   running    applied/verified/skipped, last   succeeded   current_step = steps, completed event, completed_at
//   running    failed                           failed      failed event, completed_at, redacted_error
//   finished   any                              unchanged   InvalidRunTransition(status -> Running)
//
// A run with no step left at `current_step` is refused with NoPendingStep.
// Both refusals change nothing. If the chain cannot be extended the result
// is AuditChainFailed, after the step result (and, on success, the step
// counter) was recorded but before the status changed: the caller abandons
// the run then.
std::expected<void, error::EngineError> record_step_outcome(
    voreldeploy_contracts::run::DeploymentRun& run,
    std::span<const voreldeploy_contracts::plan::DeploymentStepKind> steps,
    voreldeploy_contracts::run::StepOutcome outcome, const vorelcore_crypto::keys::SigningKey& key,
    const vorelcore_contracts::time::Timestamp& now);

// The run's transitions must verify as one chain under `key`; any failure is
// ChainIntegrityFailed.
std::expected<void, error::EngineError> verify_run_integrity(const voreldeploy_contracts::run::DeploymentRun& run,
                                                             const vorelcore_crypto::keys::VerifyingKey& key);

}  // namespace voreldeploy_engine::run
