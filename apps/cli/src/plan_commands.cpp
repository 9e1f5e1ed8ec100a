#include "plan_commands.hpp"

#include <iostream>

#include "document_io.hpp"
#include "hex.hpp"
#include "policy.hpp"
#include "policy_service.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_contracts/policy_action.hpp"
#include "voreldeploy_engine/manifest.hpp"
#include "voreldeploy_engine/plan.hpp"
#include "voreldeploy_engine/promotion.hpp"

namespace razavovivodidi::commands {

using vorelcore_contracts::time::Timestamp;
using voreldeploy_contracts::approval::ApprovalRecord;
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
    auto input = policy::build_policy_input(args.policy_input, *action, now);
    if (!input) return std::unexpected(std::move(input.error()));

    auto source = policy_service::resolve_ruleset_source(
        {args.policy_ruleset, args.trust_store, args.policy_service_url, args.policy_service_scope,
         args.policy_service_token},
        now);
    if (!source) return std::unexpected(std::move(source.error()));
    std::cout << "policy ruleset source: " << source->description << '\n' << std::flush;

    auto decision = vorelcore_policy::eval::evaluate(source->ruleset, *input, *action, now);
    if (!decision) return std::unexpected(decision.error().message());

    std::optional<ApprovalRecord> approval;
    if (args.approval) {
        auto read = read_json<ApprovalRecord>(*args.approval);
        if (!read) return std::unexpected(std::move(read.error()));
        approval = std::move(*read);
    }

    const auto outcome = promotion::evaluate_promotion(plan->environment_type, *input, *decision, approval, now);
    if (std::holds_alternative<promotion::Cleared>(outcome)) {
        plan->status = PlanStatus::Approved;
        plan->policy_decision_id = decision->decision_id;
        plan->approval = approval;  // replaces whatever the plan carried; absent when none was presented
        plan->approved_at = now;
        std::cout << "CLEARED: plan " << plan->id.to_string() << " for "
                  << vorelcore_json::display_name(plan->environment_type) << " may run\n";
    } else if (const auto* waiting = std::get_if<promotion::WaitingApproval>(&outcome)) {
        plan->status = PlanStatus::WaitingApproval;
        std::cout << "WAITING_APPROVAL: " << waiting->reason << '\n';
    } else {
        plan->status = PlanStatus::BlockedByPolicy;
        std::cout << "BLOCKED: " << std::get<promotion::Blocked>(outcome).reason << '\n';
    }
    std::cout << std::flush;

    // The plan is written whatever the verdict, so the refusal is on record.
    if (args.out) {
        if (auto written = write_json(*args.out, *plan); !written) return written;
    }
    if (!std::holds_alternative<promotion::Cleared>(outcome)) {
        return std::unexpected("plan " + plan->id.to_string() + " did not clear the promotion gate");
    }
    return {};
}

}  // namespace razavovivodidi::commands
