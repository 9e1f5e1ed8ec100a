#pragma once
// Small builders shared by the policy tests.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/eval.hpp"
#include "vorelcore_policy/input.hpp"

namespace vorelcore_policy::testing {

inline action::PolicyActionId action_id(std::string_view text) {
    auto parsed = action::PolicyActionId::parse(text);
    EXPECT_TRUE(parsed) << text << ": " << parsed.error();
    return parsed ? *parsed : action::PolicyActionId{};
}

inline vorelcore_contracts::ids::ProductId product(std::string_view text) {
    auto parsed = vorelcore_contracts::ids::ProductId::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? *parsed : vorelcore_contracts::ids::ProductId{};
}

inline vorelcore_contracts::time::Timestamp at(std::string_view text) {
    auto parsed = vorelcore_contracts::time::Timestamp::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? *parsed : vorelcore_contracts::time::Timestamp{};
}

template <class Id>
Id uuid(std::string_view text) {
    auto parsed = Id::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? *parsed : Id{};
}

// A rule for voreldeploy:deployment.promote with the given id and effect;
// tests change the rest directly.
inline eval::PolicyRule rule(std::string id, decision::Decision effect = decision::Decision::Allow) {
    eval::PolicyRule out;
    out.rule_id = std::move(id);
    out.action = action_id("voreldeploy:deployment.promote");
    out.effect = effect;
    return out;
}

inline eval::PolicyRuleset ruleset(std::vector<eval::PolicyRule> rules,
                                   std::optional<std::uint32_t> ttl = std::nullopt) {
    eval::PolicyRuleset out;
    out.ruleset_id = uuid<vorelcore_contracts::ids::PolicyId>("6a3f1c2e-9b4d-4e8f-a1c3-5d7e9f0b2a41");
    out.product_id = product("voreldeploy");
    out.version = 7;
    out.rules = std::move(rules);
    out.decision_ttl_seconds = ttl;
    return out;
}

// A request from a CI service to promote a deployment of voreldeploy.
inline input::PolicyInput promote_input() {
    input::PolicyInput in;
    in.tenant_id = uuid<vorelcore_contracts::ids::TenantId>("0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82");
    in.workspace_id = uuid<vorelcore_contracts::ids::WorkspaceId>("7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43");
    in.product_id = product("voreldeploy");
    in.resource_type = "environment";
    in.resource_id = "staging-eu";
    in.actor_type = input::PolicyActorType::Service;
    in.actor_id = "ci-runner";
    in.action = "voreldeploy:deployment.promote";
    in.facts = {{"approvals", "2"}, {"region", "eu-west"}};
    in.context = {{"note", "ok \u2014 go"}, {"ticket", "CHG-1"}};
    in.requested_at = at("2026-03-01T12:00:00Z");
    in.schema_version = 1;
    return in;
}

}  // namespace vorelcore_policy::testing
