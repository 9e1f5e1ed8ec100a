#include <gtest/gtest.h>

#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_contracts/policy_action.hpp"
#include "voreldeploy_engine/promotion.hpp"

namespace voreldeploy_engine::promotion {
namespace {

using vorelcore_contracts::time::Timestamp;
using vorelcore_policy::decision::Decision;
using vorelcore_policy::decision::PolicyDecision;
using vorelcore_policy::input::PolicyInput;
using voreldeploy_contracts::approval::ApprovalRecord;
using voreldeploy_contracts::approval::ApprovalStatus;
using voreldeploy_contracts::environment::EnvironmentType;

const Timestamp kNow = *Timestamp::parse("2026-12-01T12:00:00Z");

PolicyInput request(const std::string& action) {
    PolicyInput input;
    input.tenant_id = vorelcore_contracts::ids::TenantId::generate();
    input.workspace_id = vorelcore_contracts::ids::WorkspaceId::generate();
    input.product_id = *vorelcore_contracts::ids::ProductId::parse("voreldeploy");
    input.resource_type = "service";
    input.resource_id = "orders-api";
    input.actor_type = vorelcore_policy::input::PolicyActorType::User;
    input.actor_id = "alice";
    input.action = action;
    input.facts = {{"change_ticket", "CHG-1"}};
    input.requested_at = kNow;
    input.schema_version = 1;
    return input;
}

PolicyDecision decided(Decision value, const PolicyInput& input, std::optional<Timestamp> expires_at = std::nullopt) {
    PolicyDecision d;
    d.decision_id = vorelcore_contracts::ids::DecisionId::generate();
    d.decision = value;
    d.input_hash = *input.input_hash();
    d.issued_at = kNow;
    d.expires_at = expires_at;
    return d;
}

ApprovalRecord approval(ApprovalStatus status, std::optional<Timestamp> expires_at = std::nullopt) {
    ApprovalRecord a;
    a.status = status;
    a.expires_at = expires_at;
    return a;
}

std::string describe(const PromotionOutcome& outcome) {
    if (std::holds_alternative<Cleared>(outcome)) return "Cleared";
    if (const auto* w = std::get_if<WaitingApproval>(&outcome)) return "WaitingApproval: " + w->reason;
    return "Blocked: " + std::get<Blocked>(outcome).reason;
}

TEST(EvaluatePromotion, EveryRowOfTheGate) {
    const std::string deploy = voreldeploy_contracts::policy_action::promote_deployment_action()->canonical();
    const std::string rollback = voreldeploy_contracts::policy_action::promote_rollback_action()->canonical();
    const PolicyInput input = request(deploy);
    // The same request fields evaluated under the rollback action.
    const PolicyInput rollback_input = [&] {
        PolicyInput other = input;
        other.action = rollback;
        return other;
    }();
    PolicyInput altered = input;
    altered.facts["change_ticket"] = "CHG-2";

    const auto usable = approval(ApprovalStatus::Approved);
    const auto expiring_now = approval(ApprovalStatus::Approved, kNow);
    const auto expired = approval(ApprovalStatus::Approved, kNow.saturating_add_seconds(-1));
    const auto pending = approval(ApprovalStatus::Pending);
    const auto rejected = approval(ApprovalStatus::Rejected);

    struct Case {
        const char* name;
        EnvironmentType environment;
        std::optional<PolicyDecision> decision;
        std::optional<ApprovalRecord> approval;
        std::string expected;
    };
    const Case cases[] = {
        {"no decision", EnvironmentType::Sandbox, std::nullopt, usable,
         "Blocked: no policy decision is available for this action"},
        {"decision for another input", EnvironmentType::Sandbox, decided(Decision::Allow, altered), std::nullopt,
         "Blocked: policy decision does not match this request"},
        {"decision under the rollback action", EnvironmentType::Sandbox, decided(Decision::Allow, rollback_input),
         usable, "Blocked: policy decision does not match this request"},
        {"decision expired", EnvironmentType::Sandbox,
         decided(Decision::Allow, input, kNow.saturating_add_seconds(-1)), usable,
         "Blocked: policy decision has expired"},
        {"decision expiring exactly now", EnvironmentType::Sandbox, decided(Decision::Allow, input, kNow), std::nullopt,
         "Cleared"},
        {"allow in staging", EnvironmentType::Staging, decided(Decision::Allow, input), std::nullopt, "Cleared"},
        {"allow in staging with a rejected approval", EnvironmentType::Staging, decided(Decision::Allow, input),
         rejected, "Cleared"},
        {"warn in development", EnvironmentType::Development, decided(Decision::Warn, input), std::nullopt, "Cleared"},
        {"allow in test fixture", EnvironmentType::TestFixture, decided(Decision::Allow, input), std::nullopt,
         "Cleared"},
        {"allow in production without approval", EnvironmentType::Production, decided(Decision::Allow, input),
         std::nullopt, "WaitingApproval: Production requires an explicit approval regardless of the policy outcome"},
        {"allow in production, approval expiring now", EnvironmentType::Production, decided(Decision::Allow, input),
         expiring_now, "Cleared"},
        {"allow in production, approval expired", EnvironmentType::Production, decided(Decision::Allow, input),
         expired, "WaitingApproval: Production requires an explicit approval regardless of the policy outcome"},
        {"allow in production, pending approval", EnvironmentType::Production, decided(Decision::Allow, input),
         pending, "WaitingApproval: Production requires an explicit approval regardless of the policy outcome"},
        {"warn in recovery", EnvironmentType::Recovery, decided(Decision::Warn, input), rejected,
         "WaitingApproval: Recovery requires an explicit approval regardless of the policy outcome"},
        {"allow in compliance review with approval", EnvironmentType::ComplianceReview,
         decided(Decision::Allow, input), usable, "Cleared"},
        {"allow in compliance review without", EnvironmentType::ComplianceReview, decided(Decision::Allow, input),
         std::nullopt,
         "WaitingApproval: ComplianceReview requires an explicit approval regardless of the policy outcome"},
        {"require approval without", EnvironmentType::Sandbox, decided(Decision::RequireApproval, input),
         std::nullopt, "WaitingApproval: policy requires a further step: RequireApproval"},
        {"require approval with", EnvironmentType::Sandbox, decided(Decision::RequireApproval, input), usable,
         "Cleared"},
        {"require reauthentication, pending", EnvironmentType::Production,
         decided(Decision::RequireReauthentication, input), pending,
         "WaitingApproval: policy requires a further step: RequireReauthentication"},
        {"require exception", EnvironmentType::Staging, decided(Decision::RequireException, input), std::nullopt,
         "WaitingApproval: policy requires a further step: RequireException"},
        {"deny despite approval", EnvironmentType::Sandbox, decided(Decision::Deny, input), usable,
         "Blocked: policy decision does not permit this action: Deny"},
        {"not applicable", EnvironmentType::Sandbox, decided(Decision::NotApplicable, input), usable,
         "Blocked: policy decision does not permit this action: NotApplicable"},
        {"pass", EnvironmentType::Sandbox, decided(Decision::Pass, input), std::nullopt,
         "Blocked: policy decision does not permit this action: Pass"},
        {"fail", EnvironmentType::Sandbox, decided(Decision::Fail, input), std::nullopt,
         "Blocked: policy decision does not permit this action: Fail"},
        {"unknown", EnvironmentType::Production, decided(Decision::Unknown, input), usable,
         "Blocked: policy decision does not permit this action: Unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(evaluate_promotion(c.environment, input, c.decision, c.approval, kNow)), c.expected)
            << c.name;
    }
}

TEST(FixedActions, TheirCanonicalTexts) {
    EXPECT_EQ(voreldeploy_contracts::policy_action::promote_deployment_action()->canonical(),
              "voreldeploy:deployment.promote");
    EXPECT_EQ(voreldeploy_contracts::policy_action::promote_rollback_action()->canonical(),
              "voreldeploy:rollback.promote");
}

}  // namespace
}  // namespace voreldeploy_engine::promotion
