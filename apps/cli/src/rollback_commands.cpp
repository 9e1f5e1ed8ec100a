#include "rollback_commands.hpp"

#include <iostream>

#include "artifacts.hpp"
#include "document_io.hpp"
#include "gate.hpp"
#include "hex.hpp"
#include "run_commands.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "voreldeploy_adapters/local_fs.hpp"
#include "voreldeploy_contracts/policy_action.hpp"
#include "voreldeploy_engine/rollback.hpp"

namespace razavovivodidi::commands {

using vorelcore_contracts::ids::IdentityId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using voreldeploy_contracts::ids::EnvironmentId;
using voreldeploy_contracts::manifest::ReleaseManifest;
using voreldeploy_contracts::rollback::RollbackStatus;
using voreldeploy_contracts::run::RunStatus;
using RollbackDocument = voreldeploy_contracts::rollback::RollbackPlan;
namespace promotion = voreldeploy_engine::promotion;
namespace engine = voreldeploy_engine;

CommandResult rollback_plan(const cli::RollbackPlan& args) {
    auto from = read_json<ReleaseManifest>(args.from);
    if (!from) return std::unexpected(std::move(from.error()));
    auto to = read_json<ReleaseManifest>(args.to);
    if (!to) return std::unexpected(std::move(to.error()));
    auto environment_id = EnvironmentId::parse(args.environment_id);
    if (!environment_id) return std::unexpected(environment_id.error().message());
    auto created_by = IdentityId::parse(args.created_by);
    if (!created_by) return std::unexpected(created_by.error().message());

    auto plan = engine::rollback::draft_rollback_plan(*from, *to, *environment_id, args.environment_type, args.reason,
                                                      *created_by, Timestamp::now());
    if (!plan) return std::unexpected(plan.error().message());
    std::cout << "rollback plan " << plan->id.to_string() << " created (" << from->release_version << " -> "
              << to->release_version << ")\n"
              << std::flush;
    return write_json(args.out, *plan);
}

CommandResult rollback_approve(const cli::RollbackApprove& args) {
    auto plan = read_json<RollbackDocument>(args.input);
    if (!plan) return std::unexpected(std::move(plan.error()));
    const Timestamp now = Timestamp::now();
    // A different action from forward deployment, so rules can tell them apart.
    auto action = voreldeploy_contracts::policy_action::promote_rollback_action();
    if (!action) return std::unexpected(engine::error::EngineError(action.error()).message());
    auto verdict = gate::run_gate({std::move(*action), plan->environment_type, args.policy_input,
                                   {args.policy_ruleset, args.trust_store, args.policy_service_url,
                                    args.policy_service_scope, args.policy_service_token},
                                   args.approval},
                                  now);
    if (!verdict) return std::unexpected(std::move(verdict.error()));

    if (verdict->cleared()) {
        plan->status = RollbackStatus::Approved;
        plan->policy_decision_id = verdict->decision.decision_id;
        plan->approval = verdict->approval;
        std::cout << "CLEARED: rollback plan " << plan->id.to_string() << " may execute\n" << std::flush;
    } else {
        plan->status = std::holds_alternative<promotion::WaitingApproval>(verdict->outcome)
                           ? RollbackStatus::WaitingApproval
                           : RollbackStatus::BlockedByPolicy;
        gate::print_refusal(verdict->outcome);
    }
    if (auto written = write_json(args.out, *plan); !written) return written;
    if (!verdict->cleared()) {
        return std::unexpected("rollback plan " + plan->id.to_string() + " did not clear the promotion gate");
    }
    return {};
}

CommandResult rollback_execute(const cli::RollbackExecute& args) {
    auto rollback = read_json<RollbackDocument>(args.input);
    if (!rollback) return std::unexpected(std::move(rollback.error()));
    auto manifest = read_json<ReleaseManifest>(args.to);
    if (!manifest) return std::unexpected(std::move(manifest.error()));
    auto created_by = IdentityId::parse(args.created_by);
    if (!created_by) return std::unexpected(created_by.error().message());
    auto target = read_json<voreldeploy_contracts::target::DeployTarget>(args.target);
    if (!target) return std::unexpected(std::move(target.error()));
    auto bundle = artifacts::load_bundle(args.artifacts);
    if (!bundle) return std::unexpected(std::move(bundle.error()));
    auto signing_key = signing_key_from_hex(args.seed);
    if (!signing_key) return std::unexpected(std::move(signing_key.error()));
    const SigningKey& key = *signing_key;

    const Timestamp now = Timestamp::now();
    auto derived = engine::rollback::build_rollback_deployment_plan(*rollback, *manifest, *created_by, now);
    if (!derived) return std::unexpected(derived.error().message());
    auto run = engine::rollback::start_execution(*rollback, *derived, key, now);
    if (!run) return std::unexpected(run.error().message());
    std::cout << "rollback " << rollback->id.to_string() << " executing as run " << run->id.to_string() << '\n'
              << std::flush;

    voreldeploy_adapters::local_fs::LocalFilesystemAdapter adapter(args.root_dir);
    if (auto driven = drive_run(*run, derived->steps, *target, *bundle, adapter, key); !driven) return driven;

    const Timestamp finished = Timestamp::now();
    if (rollback->status != RollbackStatus::Executing) {
        return std::unexpected(engine::error::EngineError(engine::error::RollbackNotApproved{rollback->status}).message());
    }
    if (run->status == RunStatus::Running || run->status == RunStatus::Queued ||
        run->status == RunStatus::WaitingApproval) {
        return std::unexpected(
            engine::error::EngineError(engine::error::InvalidRunTransition{run->status, RunStatus::Succeeded}).message());
    }
    rollback->status = run->status == RunStatus::Succeeded ? RollbackStatus::Succeeded : RollbackStatus::Failed;
    rollback->executed_at = finished;
    std::cout << "rollback " << rollback->id.to_string() << " finished: " << vorelcore_json::display_name(rollback->status)
              << '\n'
              << std::flush;

    if (args.out_plan) {
        if (auto written = write_json(*args.out_plan, *derived); !written) return written;
    }
    if (args.out_run) {
        if (auto written = write_json(*args.out_run, *run); !written) return written;
    }
    if (args.out_rollback) {
        if (auto written = write_json(*args.out_rollback, *rollback); !written) return written;
    }
    return {};
}

}  // namespace razavovivodidi::commands
