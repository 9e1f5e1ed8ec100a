#pragma once
// The promotion gate as the commands run it: build the policy input with a
// fixed action, obtain a verified ruleset (printing where it came from),
// evaluate it, read the optional approval and ask the gate. Shared by
// `plan simulate` and `rollback approve`, which differ only in the action,
// the document they update and the cleared line.
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "policy_service.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/decision.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/environment.hpp"
#include "voreldeploy_engine/promotion.hpp"

namespace razavovivodidi::gate {

struct GateRequest {
    vorelcore_policy::action::PolicyActionId action;
    voreldeploy_contracts::environment::EnvironmentType environment_type;
    std::filesystem::path policy_input;
    policy_service::RulesetSourceOptions source;
    std::optional<std::filesystem::path> approval;
};

struct GateResult {
    voreldeploy_engine::promotion::PromotionOutcome outcome;
    vorelcore_policy::decision::PolicyDecision decision;
    std::optional<voreldeploy_contracts::approval::ApprovalRecord> approval;  // as presented

    bool cleared() const { return std::holds_alternative<voreldeploy_engine::promotion::Cleared>(outcome); }
};

std::expected<GateResult, std::string> run_gate(const GateRequest& request, const vorelcore_contracts::time::Timestamp& now);

// Prints "WAITING_APPROVAL: {reason}" or "BLOCKED: {reason}"; nothing when cleared.
void print_refusal(const voreldeploy_engine::promotion::PromotionOutcome& outcome);

}  // namespace razavovivodidi::gate
