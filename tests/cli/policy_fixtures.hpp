#pragma once
// Policy files for end-to-end tests: signed rulesets, a trust store and
// request fields, written the way an operator's tools would write them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/run_cli.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_engine/manifest.hpp"

namespace vorel_test {

// One rule for `action` with `effect`, needing a change_ticket fact.
inline std::string ruleset_json(const std::string& effect,
                                const std::string& action = "voreldeploy:deployment.promote") {
    return R"({"ruleset_id": "aa11bb22-cc33-4d44-8e55-ff6677889900", "product_id": "voreldeploy", "version": 3,
  "rules": [{"rule_id": "deploys", "rule_name": "Deploys need a ticket", "action": ")" + action + R"(",
             "facts": {"change_ticket": {"op": "present"}}, "effect": ")" + effect + R"("}]})";
}

inline std::string write_signed_ruleset(const ScratchDir& dir, const std::string& name, const std::string& json,
                                        const vorelcore_crypto::keys::SigningKey& key,
                                        std::vector<std::string> context = vorelcore_policy::eval::ruleset_envelope_context()) {
    auto ruleset = vorelcore_json::from_text<vorelcore_policy::eval::PolicyRuleset>(json);
    EXPECT_TRUE(ruleset) << ruleset.error();
    auto envelope = vorelcore_policy::eval::SignedPolicyRuleset::sign(
        std::move(*ruleset), vorelcore_contracts::ids::KeyId::generate(), vorelcore_contracts::time::Timestamp::now(),
        key, std::move(context));
    EXPECT_TRUE(envelope);
    const std::string path = (dir / name).string();
    EXPECT_TRUE(razavovivodidi::write_json(path, *envelope));
    return path;
}

inline std::string write_trust_store(const ScratchDir& dir, const std::string& name,
                                     const vorelcore_crypto::keys::SigningKey& trusted) {
    return dir
        .write(name, R"({"signers": [{"name": "policy-team", "pubkey_hex": ")" +
                         razavovivodidi::hex_encode(trusted.verifying_key().to_bytes()) +
                         R"(", "added_at": "2026-01-01T00:00:00Z"}]})")
        .string();
}

// examples/manifest.json signed by `key` under the release-manifest context.
inline std::string write_signed_manifest(const ScratchDir& dir, const vorelcore_crypto::keys::SigningKey& key) {
    auto manifest = razavovivodidi::read_json<voreldeploy_contracts::manifest::ReleaseManifest>(
        source_dir() / "examples/manifest.json");
    EXPECT_TRUE(manifest) << manifest.error();
    auto envelope = voreldeploy_engine::manifest::SignedManifest::sign(
        std::move(*manifest), vorelcore_contracts::ids::KeyId::generate(), vorelcore_contracts::time::Timestamp::now(),
        key, voreldeploy_engine::manifest::manifest_envelope_context());
    EXPECT_TRUE(envelope);
    const std::string path = (dir / "signed-manifest.json").string();
    EXPECT_TRUE(razavovivodidi::write_json(path, *envelope));
    return path;
}

inline std::string write_request_fields(const ScratchDir& dir, const std::string& name = "request.json") {
    return dir
        .write(name, R"({
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "resource_type": "service",
  "resource_id": "orders-api",
  "actor_type": "user",
  "actor_id": "alice",
  "facts": {"change_ticket": "CHG-1"}
})")
        .string();
}

inline std::string write_approval(const ScratchDir& dir, const std::string& status) {
    return dir
        .write("approval-" + status + ".json", R"({
  "id": "11111111-2222-4333-8444-555555555555",
  "workflow_ref": "CAB-7",
  "status": ")" + status + R"(",
  "requested_by": "66666666-7777-4888-9999-aaaaaaaaaaaa",
  "requested_at": "2026-12-01T10:00:00Z"
})")
        .string();
}

}  // namespace vorel_test
