#include "voreldeploy_engine/run.hpp"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "vorelcore_audit/chain.hpp"
#include "voreldeploy_engine/audit.hpp"

namespace voreldeploy_engine::run {

using vorelcore_audit::chain::AuditChain;
using vorelcore_audit::event::AuditEvent;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using voreldeploy_contracts::plan::DeploymentPlan;
using voreldeploy_contracts::plan::DeploymentStepKind;
using voreldeploy_contracts::plan::PlanStatus;
using voreldeploy_contracts::run::DeploymentRun;
using voreldeploy_contracts::run::RunStatus;
using voreldeploy_contracts::run::StepOutcome;
using voreldeploy_contracts::run::StepResult;

namespace {

// Continues the run's chain after its last transition and appends `event`.
// A run without any transition has no chain to continue: every run begins
// with its started record.
std::expected<void, error::EngineError> append_transition(DeploymentRun& run, AuditEvent event,
                                                          const SigningKey& key) {
    if (run.transitions.empty()) return std::unexpected(error::AuditChainFailed{});
    auto chain = AuditChain::resume_after(run.transitions.back());
    if (!chain) return std::unexpected(error::AuditChainFailed{});
    auto record = chain->append(std::move(event), key);
    if (!record) return std::unexpected(error::AuditChainFailed{});
    run.transitions.push_back(std::move(*record));
    return {};
}

}  // namespace

std::expected<DeploymentRun, error::EngineError> start(const DeploymentPlan& plan, const SigningKey& key,
                                                       const Timestamp& now) {
    if (plan.status != PlanStatus::Approved) return std::unexpected(error::PlanNotApproved{plan.status});

    DeploymentRun run;
    run.id = voreldeploy_contracts::ids::RunId::generate();
    AuditChain chain;
    auto record = chain.append(audit::run_started_event(run.id, audit::worker_actor(), now), key);
    if (!record) return std::unexpected(error::AuditChainFailed{});

    run.tenant_id = plan.tenant_id;
    run.workspace_id = plan.workspace_id;
    run.plan_id = plan.id;
    run.environment_id = plan.environment_id;
    run.release_manifest_id = plan.release_manifest_id;
    run.status = RunStatus::Running;
    run.started_at = now;
    run.current_step = 0;
    run.transitions.push_back(std::move(*record));
    return run;
}

std::expected<void, error::EngineError> record_step_outcome(DeploymentRun& run,
                                                            std::span<const DeploymentStepKind> steps,
                                                            StepOutcome outcome, const SigningKey& key,
                                                            const Timestamp& now) {
    if (run.status != RunStatus::Running) {
        return std::unexpected(error::InvalidRunTransition{run.status, RunStatus::Running});
    }
    if (run.current_step >= steps.size()) return std::unexpected(error::NoPendingStep{run.current_step});

    const std::size_t index = run.current_step;
    const auto* failed = std::get_if<voreldeploy_contracts::run::Failed>(&outcome);
    std::optional<std::string> reason;
    if (failed != nullptr) reason = failed->reason_redacted;
    run.step_results.push_back(StepResult{.step_index = run.current_step,
                                          .step_label = std::string(voreldeploy_contracts::plan::step_label(steps[index])),
                                          .outcome = std::move(outcome),
                                          .started_at = now,
                                          .completed_at = now});

    if (reason) {
        if (auto appended = append_transition(run, audit::run_failed_event(run.id, audit::worker_actor(), now), key);
            !appended) {
            return appended;
        }
        run.status = RunStatus::Failed;
        run.completed_at = now;
        run.redacted_error = std::move(reason);
        return {};
    }

    run.current_step += 1;
    if (run.current_step == steps.size()) {
        if (auto appended =
                append_transition(run, audit::run_succeeded_event(run.id, audit::worker_actor(), now), key);
            !appended) {
            return appended;
        }
        run.status = RunStatus::Succeeded;
        run.completed_at = now;
    }
    return {};
}

std::expected<void, error::EngineError> verify_run_integrity(const DeploymentRun& run,
                                                             const vorelcore_crypto::keys::VerifyingKey& key) {
    if (!vorelcore_audit::chain::verify_chain(run.transitions, key)) {
        return std::unexpected(error::ChainIntegrityFailed{});
    }
    return {};
}

}  // namespace voreldeploy_engine::run
