#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fixtures.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/input.hpp"

namespace vorelcore_policy::input {
namespace {

using testing::promote_input;

std::string hash_text(const PolicyInput& in) {
    auto hash = in.input_hash();
    EXPECT_TRUE(hash) << hash.error();
    return hash ? hash->to_string() : "";
}

PolicyInput read(const std::string& text) {
    auto parsed = vorelcore_json::from_text<PolicyInput>(text);
    EXPECT_TRUE(parsed) << parsed.error();
    return parsed ? *parsed : PolicyInput{};
}

TEST(PolicyInputHash, IsBlake3OfTheCanonicalBytesOfAllTwelveMembers) {
    // Written out by hand; the hash was computed once with b3sum over these bytes.
    const std::string canonical =
        R"({"action":"voreldeploy:deployment.promote","actor_id":"ci-runner","actor_type":"service",)"
        R"("context":{"note":"ok )"
        "\xe2\x80\x94"
        R"( go","ticket":"CHG-1"},"facts":{"approvals":"2","region":"eu-west"},"product_id":"voreldeploy",)"
        R"("requested_at":"2026-03-01T12:00:00Z","resource_id":"staging-eu","resource_type":"environment",)"
        R"("schema_version":1,"tenant_id":"0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",)"
        R"("workspace_id":"7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43"})";
    auto bytes = vorelcore_crypto::canonical::canonical_bytes(promote_input());
    ASSERT_TRUE(bytes) << bytes.error();
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), canonical);
    EXPECT_EQ(hash_text(promote_input()),
              "blake3:d7a1166bfac15c57872748378179255550ed8038bee5e05f0b0fd9636db5e4c7");
}

TEST(PolicyInputHash, EveryMemberTakesPart) {
    const std::string base = hash_text(promote_input());
    struct Case {
        const char* name;
        std::function<void(PolicyInput&)> change;
    };
    const Case cases[] = {
        {"tenant_id", [](PolicyInput& in) { in.tenant_id = vorelcore_contracts::ids::TenantId::generate(); }},
        {"workspace_id", [](PolicyInput& in) { in.workspace_id = vorelcore_contracts::ids::WorkspaceId::generate(); }},
        {"product_id", [](PolicyInput& in) { in.product_id = testing::product("otherprod"); }},
        {"resource_type", [](PolicyInput& in) { in.resource_type = "service"; }},
        {"resource_id", [](PolicyInput& in) { in.resource_id = "staging-us"; }},
        {"actor_type", [](PolicyInput& in) { in.actor_type = PolicyActorType::User; }},
        {"actor_id", [](PolicyInput& in) { in.actor_id = "ci-runner-2"; }},
        {"action", [](PolicyInput& in) { in.action = "voreldeploy:rollback.promote"; }},
        {"one fact value", [](PolicyInput& in) { in.facts["approvals"] = "3"; }},
        {"one fact key", [](PolicyInput& in) { in.facts = {{"approval", "2"}, {"region", "eu-west"}}; }},
        {"an added fact", [](PolicyInput& in) { in.facts["extra"] = ""; }},
        {"a fact moved to context", [](PolicyInput& in) {
             in.facts.erase("region");
             in.context["region"] = "eu-west";
         }},
        {"one context value", [](PolicyInput& in) { in.context["ticket"] = "CHG-2"; }},
        {"requested_at", [](PolicyInput& in) { in.requested_at = testing::at("2026-03-01T12:00:00.5Z"); }},
        {"schema_version", [](PolicyInput& in) { in.schema_version = 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PolicyInput changed = promote_input();
        c.change(changed);
        EXPECT_NE(hash_text(changed), base);
    }
}

TEST(PolicyInputHash, MemberOrderInTheTextAndMissingMapsDoNotMatter) {
    const std::string in_order = R"({
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "product_id": "voreldeploy",
  "resource_type": "environment",
  "resource_id": "staging-eu",
  "actor_type": "service",
  "actor_id": "ci-runner",
  "action": "voreldeploy:deployment.promote",
  "facts": {"region": "eu-west", "approvals": "2"},
  "context": {"ticket": "CHG-1", "note": "ok )" "\xe2\x80\x94" R"( go"},
  "requested_at": "2026-03-01T12:00:00Z",
  "schema_version": 1
})";
    const std::string shuffled = R"({
  "schema_version": 1, "context": {"note": "ok )" "\xe2\x80\x94" R"( go", "ticket": "CHG-1"},
  "action": "voreldeploy:deployment.promote", "actor_id": "ci-runner", "facts": {"approvals": "2", "region": "eu-west"},
  "requested_at": "2026-03-01T13:00:00+01:00", "resource_id": "staging-eu", "actor_type": "service",
  "workspace_id": "7D4A1C9E2F3B4A6D8E5C9B0A1F2E3D43", "resource_type": "environment", "product_id": "voreldeploy",
  "tenant_id": "urn:uuid:0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82", "ignored": {"deep": [null]}
})";
    EXPECT_EQ(read(in_order), promote_input());
    EXPECT_EQ(hash_text(read(in_order)), hash_text(promote_input()));
    EXPECT_EQ(hash_text(read(shuffled)), hash_text(promote_input()));

    const std::string common = R"("tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "product_id": "voreldeploy", "resource_type": "environment",
  "resource_id": "staging-eu", "actor_type": "service", "actor_id": "ci-runner",
  "action": "voreldeploy:deployment.promote", "requested_at": "2026-03-01T12:00:00Z", "schema_version": 1)";
    const PolicyInput without_maps = read("{" + common + "}");
    const PolicyInput with_empty_maps = read("{" + common + R"(, "facts": {}, "context": {}})");
    EXPECT_TRUE(without_maps.facts.empty());
    EXPECT_TRUE(without_maps.context.empty());
    EXPECT_EQ(without_maps, with_empty_maps);
    EXPECT_EQ(hash_text(without_maps), hash_text(with_empty_maps));
    EXPECT_NE(hash_text(without_maps), hash_text(promote_input()));
}

TEST(PolicyInputJson, WritesAllTwelveMembersInOrderWithMapsSortedByKeyBytes) {
    PolicyInput in = promote_input();
    in.facts = {{"region", "eu-west"}, {"Zone", "b"}, {"_x", "\"quoted\""}};
    in.context.clear();
    in.actor_type = PolicyActorType::FederationPeer;
    EXPECT_EQ(vorelcore_json::to_pretty(in), R"({
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "product_id": "voreldeploy",
  "resource_type": "environment",
  "resource_id": "staging-eu",
  "actor_type": "federation_peer",
  "actor_id": "ci-runner",
  "action": "voreldeploy:deployment.promote",
  "facts": {
    "Zone": "b",
    "_x": "\"quoted\"",
    "region": "eu-west"
  },
  "context": {},
  "requested_at": "2026-03-01T12:00:00Z",
  "schema_version": 1
})");
    EXPECT_EQ(read(vorelcore_json::to_pretty(in)), in);
}

TEST(PolicyInputJson, ActionIsPlainTextAndRequiredMembersMustBePresent) {
    PolicyInput in = promote_input();
    in.action = "Not An Action";  // the input carries text; only evaluation compares it
    EXPECT_EQ(read(vorelcore_json::to_pretty(in)).action, "Not An Action");

    struct Case {
        const char* text;
        std::string message;
    };
    const Case cases[] = {
        {R"({"tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82"})", "missing field `workspace_id` at line 1 column 53"},
        {R"({"facts": {"a": 1}})", "invalid type: integer `1`, expected a string at line 1 column 17"},
        {R"({"facts": {"a": "x", "a": "y"}})", "duplicate field `a` at line 1 column 24"},
        {R"({"context": null})", "invalid type: null, expected a map at line 1 column 16"},
        {R"({"schema_version": 65536})", "invalid value: integer `65536`, expected u16 at line 1 column 24"},
        {R"({"actor_type": "Service"})",
         "unknown variant `Service`, expected one of `user`, `administrator`, `device`, `service`, `product`, "
         "`federation_peer`, `system`, `unknown` at line 1 column 24"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = vorelcore_json::from_text<PolicyInput>(c.text);
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parsed.error(), c.message);
    }
}

}  // namespace
}  // namespace vorelcore_policy::input
