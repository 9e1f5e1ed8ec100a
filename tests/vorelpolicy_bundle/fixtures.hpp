#pragma once
// A complete policy bundle body and the signing helpers shared by the
// bundle tests.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelpolicy_bundle/bundle.hpp"

namespace vorelpolicy_bundle::testing {

inline const std::vector<std::string> kBundleContext{"product:voreldeploy", "purpose:policy-bundle"};

// Every member given, one rule that is structurally sound.
inline constexpr std::string_view kFullBody = R"({
  "bundle_id": "3c1d5e7f-9a2b-4c4d-8e6f-0a1b2c3d4e5f",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "pack_name": "deploy-baseline",
  "ruleset": {"ruleset_id": "aa11bb22-cc33-4d44-8e55-ff6677889900", "product_id": "voreldeploy", "version": 4,
              "rules": [{"rule_id": "ticket", "action": "voreldeploy:deployment.promote",
                         "facts": {"change_ticket": {"op": "present"}}, "effect": "allow"}]},
  "rule_meta": {"ticket": {"control_id": "CM-3", "description": "changes carry a ticket", "remediation": "open one"}},
  "controls": [{"control_code": "CM-3", "category": "deployment", "title": "Configuration change control"}],
  "tests": [{"name": "ticketed change passes",
             "input": {"tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
                       "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "product_id": "voreldeploy",
                       "resource_type": "service", "resource_id": "orders-api", "actor_type": "user",
                       "actor_id": "alice", "action": "voreldeploy:deployment.promote",
                       "facts": {"change_ticket": "CHG-1"}, "requested_at": "2026-12-01T10:00:00Z",
                       "schema_version": 1},
             "action": "voreldeploy:deployment.promote", "expected_decision": "allow", "expect_rule": "ticket"}],
  "created_at": "2026-12-01T09:00:00Z",
  "publisher": "policy-team",
  "previous_version": "2026.11"
})";

inline bundle::PolicyBundleBody body_from(std::string_view json) {
    auto body = vorelcore_json::from_text<bundle::PolicyBundleBody>(json);
    EXPECT_TRUE(body) << body.error();
    return body ? std::move(*body) : bundle::PolicyBundleBody{};
}

inline vorelcore_contracts::time::Timestamp at(std::string_view text) {
    auto parsed = vorelcore_contracts::time::Timestamp::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed ? *parsed : vorelcore_contracts::time::Timestamp{};
}

inline bundle::SignedPolicyBundle sign(bundle::PolicyBundleBody body, const vorelcore_contracts::ids::KeyId& key_id,
                                       const vorelcore_crypto::keys::SigningKey& key,
                                       std::vector<std::string> context = kBundleContext) {
    auto envelope = bundle::SignedPolicyBundle::sign(std::move(body), key_id, at("2026-12-01T09:30:00Z"), key,
                                                     std::move(context));
    EXPECT_TRUE(envelope);
    return std::move(*envelope);
}

// Signs the envelope again as it now stands (after a test changed members
// the signer is meant to have chosen, such as the expiry).
inline void resign(bundle::SignedPolicyBundle& envelope, const vorelcore_crypto::keys::SigningKey& key) {
    auto bytes = envelope.signing_bytes();
    ASSERT_TRUE(bytes);
    envelope.signature = key.sign_bytes(*bytes);
}

}  // namespace vorelpolicy_bundle::testing
