#include "voreldeploy_engine/promotion.hpp"

#include "vorelcore_json/enum_table.hpp"

namespace voreldeploy_engine::promotion {

using vorelcore_json::display_name;
using vorelcore_policy::decision::Decision;
using voreldeploy_contracts::environment::EnvironmentType;

namespace {

bool needs_explicit_approval(EnvironmentType type) {
    return type == EnvironmentType::Production || type == EnvironmentType::Recovery ||
           type == EnvironmentType::ComplianceReview;
}

}  // namespace

PromotionOutcome evaluate_promotion(EnvironmentType environment_type, const vorelcore_policy::input::PolicyInput& input,
                                    const std::optional<vorelcore_policy::decision::PolicyDecision>& decision,
                                    const std::optional<voreldeploy_contracts::approval::ApprovalRecord>& approval,
                                    const vorelcore_contracts::time::Timestamp& now) {
    if (!decision) return Blocked{"no policy decision is available for this action"};

    // The decision must answer exactly this request: another action, another
    // request or an altered input hashes differently.
    const auto hash = input.input_hash();
    if (!hash || !hash->ct_eq(decision->input_hash)) return Blocked{"policy decision does not match this request"};

    if (decision->expires_at && now.is_after(*decision->expires_at)) return Blocked{"policy decision has expired"};

    const bool approval_usable = approval && approval->is_usable_at(now);

    switch (decision->decision) {
    case Decision::Allow:
    case Decision::Warn:
        if (needs_explicit_approval(environment_type) && !approval_usable) {
            return WaitingApproval{std::string(display_name(environment_type)) +
                                   " requires an explicit approval regardless of the policy outcome"};
        }
        return Cleared{};
    case Decision::RequireApproval:
    case Decision::RequireReauthentication:
    case Decision::RequireException:
        if (approval_usable) return Cleared{};
        return WaitingApproval{"policy requires a further step: " + std::string(display_name(decision->decision))};
    case Decision::Deny:
    case Decision::Pass:
    case Decision::Fail:
    case Decision::NotApplicable:
    case Decision::Unknown:
        break;
    }
    return Blocked{"policy decision does not permit this action: " + std::string(display_name(decision->decision))};
}

}  // namespace voreldeploy_engine::promotion
