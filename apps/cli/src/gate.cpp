#include "gate.hpp"

#include <iostream>

#include "document_io.hpp"
#include "policy.hpp"
#include "vorelcore_policy/eval.hpp"

namespace razavovivodidi::gate {

namespace promotion = voreldeploy_engine::promotion;

std::expected<GateResult, std::string> run_gate(const GateRequest& request, const vorelcore_contracts::time::Timestamp& now) {
    auto input = policy::build_policy_input(request.policy_input, request.action, now);
    if (!input) return std::unexpected(std::move(input.error()));

    auto source = policy_service::resolve_ruleset_source(request.source, now);
    if (!source) return std::unexpected(std::move(source.error()));
    std::cout << "policy ruleset source: " << source->description << '\n' << std::flush;

    auto decision = vorelcore_policy::eval::evaluate(source->ruleset, *input, request.action, now);
    if (!decision) return std::unexpected(decision.error().message());

    // The approval is read only after the ruleset was evaluated.
    std::optional<voreldeploy_contracts::approval::ApprovalRecord> approval;
    if (request.approval) {
        auto read = read_json<voreldeploy_contracts::approval::ApprovalRecord>(*request.approval);
        if (!read) return std::unexpected(std::move(read.error()));
        approval = std::move(*read);
    }
    auto outcome = promotion::evaluate_promotion(request.environment_type, *input, *decision, approval, now);
    return GateResult{std::move(outcome), std::move(*decision), std::move(approval)};
}

void print_refusal(const promotion::PromotionOutcome& outcome) {
    if (const auto* waiting = std::get_if<promotion::WaitingApproval>(&outcome)) {
        std::cout << "WAITING_APPROVAL: " << waiting->reason << '\n' << std::flush;
    } else if (const auto* blocked = std::get_if<promotion::Blocked>(&outcome)) {
        std::cout << "BLOCKED: " << blocked->reason << '\n' << std::flush;
    }
}

}  // namespace razavovivodidi::gate
