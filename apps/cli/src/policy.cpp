#include "policy.hpp"

namespace razavovivodidi::policy {

vorelcore_policy::input::PolicyInput policy_input_from_fields(PolicyRequestFields fields,
                                                              const vorelcore_policy::action::PolicyActionId& action,
                                                              const vorelcore_contracts::time::Timestamp& now) {
    vorelcore_policy::input::PolicyInput input;
    input.tenant_id = fields.tenant_id;
    input.workspace_id = fields.workspace_id;
    input.product_id = action.product();
    input.resource_type = std::move(fields.resource_type);
    input.resource_id = std::move(fields.resource_id);
    input.actor_type = fields.actor_type;
    input.actor_id = std::move(fields.actor_id);
    input.action = action.canonical();
    input.facts = std::move(fields.facts);
    input.context = std::move(fields.context);
    input.requested_at = now;
    input.schema_version = 1;
    return input;
}

std::expected<vorelcore_policy::input::PolicyInput, std::string> build_policy_input(
    const std::filesystem::path& path, const vorelcore_policy::action::PolicyActionId& action,
    const vorelcore_contracts::time::Timestamp& now) {
    auto fields = read_json<PolicyRequestFields>(path);
    if (!fields) return std::unexpected(std::move(fields.error()));
    return policy_input_from_fields(std::move(*fields), action, now);
}

}  // namespace razavovivodidi::policy
