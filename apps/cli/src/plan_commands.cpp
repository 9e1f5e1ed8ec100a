#include "plan_commands.hpp"

#include <iostream>

#include "document_io.hpp"
#include "hex.hpp"
#include "gate.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "voreldeploy_contracts/policy_action.hpp"
#include "voreldeploy_engine/manifest.hpp"
#include "voreldeploy_engine/plan.hpp"
#include "voreldeploy_engine/promotion.hpp"

namespace razavovivodidi::commands {

using vorelcore_contracts::time::Timestamp;
using voreldeploy_contracts::plan::DeploymentPlan;
using voreldeploy_contracts::plan::PlanStatus;
namespace promotion = voreldeploy_engine::promotion;

CommandResult plan_parse(const std::filesystem::path& input) {
    // Reading is the refusal: a step outside the seven typed kinds makes the
    // whole document unreadable, so nothing below ever sees one.
    auto plan = read_json<DeploymentPlan>(input);
    if (!plan) return std::unexpected(std::move(plan.error()));
    std::cout << "OK: plan " << plan->id.to_string() << " parsed \u2014 " << plan->steps.size()
              << " step(s), all typed, none a shell/script/run step\n";
    return print_json(*plan);
}

CommandResult plan_simulate(const cli::SimulateArgs& args) {
    auto plan = read_json<DeploymentPlan>(args.input);
    if (!plan) return std::unexpected(std::move(plan.error()));
    auto envelope = read_json<voreldeploy_engine::manifest::SignedManifest>(args.manifest);
    if (!envelope) return std::unexpected(std::move(envelope.error()));
    auto key_bytes = parse_hex32(args.pubkey);
    if (!key_bytes) return std::unexpected(std::move(key_bytes.error()));
    auto key = vorelcore_crypto::keys::VerifyingKey::from_bytes(*key_bytes);
    if (!key) return std::unexpected(key.error().message());

    // One instant for every check below, so expiry is judged consistently.
    const Timestamp now = Timestamp::now();
    if (auto verified = voreldeploy_engine::manifest::verify_manifest(*envelope, *key, now); !verified) {
        return std::unexpected(verified.error().message());
    }
    if (auto valid = voreldeploy_engine::plan::validate_steps(plan->steps); !valid) {
        return std::unexpected(valid.error().message());
    }

    // The action is fixed here; the request-fields file cannot choose it.
    auto action = voreldeploy_contracts::policy_action::promote_deployment_action();
    if (!action) return std::unexpected(voreldeploy_engine::error::EngineError(action.error()).message());
    auto verdict = gate::run_gate({std::move(*action), plan->environment_type, args.policy_input,
                                {args.policy_ruleset, args.trust_store, args.policy_service_url,
                                 args.policy_service_scope, args.policy_service_token},
                                args.approval},
                               now);
    if (!verdict) return std::unexpected(std::move(verdict.error()));

    if (verdict->cleared()) {
        plan->status = PlanStatus::Approved;
        plan->policy_decision_id = verdict->decision.decision_id;
        plan->approval = verdict->approval;  // replaces whatever the plan carried; absent when none was presented
        plan->approved_at = now;
        std::cout << "CLEARED: plan " << plan->id.to_string() << " for "
                  << vorelcore_json::display_name(plan->environment_type) << " may run\n"
                  << std::flush;
    } else {
        plan->status = std::holds_alternative<promotion::WaitingApproval>(verdict->outcome) ? PlanStatus::WaitingApproval
                                                                                         : PlanStatus::BlockedByPolicy;
        gate::print_refusal(verdict->outcome);
    }

    // The plan is written whatever the verdict, so the refusal is on record.
    if (args.out) {
        if (auto written = write_json(*args.out, *plan); !written) return written;
    }
    if (!verdict->cleared()) {
        return std::unexpected("plan " + plan->id.to_string() + " did not clear the promotion gate");
    }
    return {};
}

}  // namespace razavovivodidi::commands
