#pragma once
// The caller-supplied half of a policy input (the --policy-input file) and
// the assembly of the whole input from it. The action, product, request time
// and schema version are always filled in here, never read from the file.
#include <expected>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "document_io.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/input.hpp"

namespace razavovivodidi::policy {

struct PolicyRequestFields {
    vorelcore_contracts::ids::TenantId tenant_id;
    vorelcore_contracts::ids::WorkspaceId workspace_id;
    std::string resource_type;
    std::string resource_id;
    vorelcore_policy::input::PolicyActorType actor_type = vorelcore_policy::input::PolicyActorType::Unknown;
    std::string actor_id;
    std::map<std::string, std::string> facts;
    std::map<std::string, std::string> context;

    friend bool operator==(const PolicyRequestFields&, const PolicyRequestFields&) = default;
};

// The policy input of `fields` for the fixed `action`, requested at `now`,
// schema version 1; the product is the action's own.
vorelcore_policy::input::PolicyInput policy_input_from_fields(PolicyRequestFields fields,
                                                              const vorelcore_policy::action::PolicyActionId& action,
                                                              const vorelcore_contracts::time::Timestamp& now);

// Reads the request fields at `path` and builds their policy input as
// `policy_input_from_fields` does.
std::expected<vorelcore_policy::input::PolicyInput, std::string> build_policy_input(
    const std::filesystem::path& path, const vorelcore_policy::action::PolicyActionId& action,
    const vorelcore_contracts::time::Timestamp& now);

}  // namespace razavovivodidi::policy

template <>
struct vorelcore_json::Fields<razavovivodidi::policy::PolicyRequestFields> {
    using T = razavovivodidi::policy::PolicyRequestFields;
    static constexpr std::string_view name = "PolicyRequestFields";
    static constexpr auto list = std::make_tuple(
        field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("resource_type", &T::resource_type), field("resource_id", &T::resource_id),
        field("actor_type", &T::actor_type), field("actor_id", &T::actor_id), field_default("facts", &T::facts),
        field_default("context", &T::context));
};

template <>
struct razavovivodidi::DocumentLabel<razavovivodidi::policy::PolicyRequestFields> {
    static std::string value() { return "razavovivodidi::policy::PolicyRequestFields"; }
};
