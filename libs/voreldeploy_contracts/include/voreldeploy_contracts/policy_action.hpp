#pragma once
// The two fixed actions promotions are evaluated under. Callers always set
// a policy input's action from these, never from operator-supplied input,
// and the two differ so that forward deployment and rollback can be
// governed by different rules.
#include <expected>

#include "vorelcore_policy/action.hpp"
#include "voreldeploy_contracts/error.hpp"

namespace voreldeploy_contracts::policy_action {

// voreldeploy:deployment.promote
std::expected<vorelcore_policy::action::PolicyActionId, error::ContractError> promote_deployment_action();

// voreldeploy:rollback.promote
std::expected<vorelcore_policy::action::PolicyActionId, error::ContractError> promote_rollback_action();

}  // namespace voreldeploy_contracts::policy_action
