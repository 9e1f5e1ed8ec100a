#include "voreldeploy_contracts/policy_action.hpp"

#include <string_view>
#include <vector>

namespace voreldeploy_contracts::policy_action {

using vorelcore_contracts::ids::ProductId;
using vorelcore_contracts::ids::Slug;
using vorelcore_policy::action::PolicyActionId;

namespace {

// Builds the action from constant parts, running the same validation any
// action id gets.
std::expected<PolicyActionId, error::ContractError> fixed_action(std::string_view first, std::string_view second) {
    auto product = ProductId::parse(vorelcore_contracts::ids::kProductSlug);
    if (!product) return std::unexpected(error::ContractError{"policy_action.product", product.error().message()});
    std::vector<Slug> segments;
    for (const std::string_view text : {first, second}) {
        auto segment = Slug::parse(text);
        if (!segment) return std::unexpected(error::ContractError{"policy_action.segments", segment.error().message()});
        segments.push_back(std::move(*segment));
    }
    auto action = PolicyActionId::from_parts(std::move(*product), std::move(segments));
    if (!action) return std::unexpected(error::ContractError{"policy_action.segments", action.error().message()});
    return std::move(*action);
}

}  // namespace

std::expected<PolicyActionId, error::ContractError> promote_deployment_action() {
    return fixed_action("deployment", "promote");
}

std::expected<PolicyActionId, error::ContractError> promote_rollback_action() {
    return fixed_action("rollback", "promote");
}

}  // namespace voreldeploy_contracts::policy_action
