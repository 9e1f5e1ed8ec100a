#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "voreldeploy_engine/manifest.hpp"

namespace voreldeploy_engine::manifest {
namespace {

using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using voreldeploy_contracts::manifest::ManifestStatus;
using voreldeploy_contracts::manifest::ReleaseManifest;

ReleaseManifest sample_manifest(ManifestStatus status) {
    ReleaseManifest m;
    m.contract_version = 1;
    m.id = voreldeploy_contracts::ids::ManifestId::generate();
    m.tenant_id = vorelcore_contracts::ids::TenantId::generate();
    m.workspace_id = vorelcore_contracts::ids::WorkspaceId::generate();
    m.release_version = "2026.08.06-1";
    m.products = {*vorelcore_contracts::ids::ProductId::parse("voreldeploy")};
    m.artifacts = {voreldeploy_contracts::ids::ArtifactId::generate()};
    m.manifest_hash = vorelcore_crypto::hash::blake3_hash(std::string_view("orders-api"));
    m.status = status;
    m.created_at = *Timestamp::parse("2026-08-06T10:00:00Z");
    return m;
}

// Signs `envelope` again over its current members, as a signer who chose
// those members would have.
void resign(SignedManifest& envelope, const SigningKey& key) {
    envelope.signature = key.sign_bytes(*envelope.signing_bytes());
}

TEST(VerifyManifest, OnlyAProperlySignedPublishedManifestPasses) {
    const SigningKey key = SigningKey::from_bytes({7});
    const SigningKey other = SigningKey::from_bytes({8});
    const Timestamp now = *Timestamp::parse("2026-12-01T00:00:00Z");
    const std::string signature_failure = "release manifest signature verification failed";

    struct Case {
        const char* name;
        ManifestStatus status;
        std::vector<std::string> context;
        std::function<void(SignedManifest&)> change;  // applied after signing
        const SigningKey* verify_with;
        std::string error;  // empty: verifies
    };
    const auto none = [](SignedManifest&) {};
    const Case cases[] = {
        {"published, right key and context", ManifestStatus::Published, manifest_envelope_context(), none, &key, ""},
        {"payload altered after signing", ManifestStatus::Published, manifest_envelope_context(),
         [](SignedManifest& e) { e.payload.release_version = "2026.08.06-2"; }, &key, signature_failure},
        {"another purpose's context", ManifestStatus::Published, {"voreldeploy", "policy-ruleset"}, none, &key,
         signature_failure},
        {"context in the other order", ManifestStatus::Published, {"release-manifest", "voreldeploy"}, none, &key,
         signature_failure},
        {"context with a third entry", ManifestStatus::Published, {"voreldeploy", "release-manifest", "x"}, none, &key,
         signature_failure},
        {"another key", ManifestStatus::Published, manifest_envelope_context(), none, &other, signature_failure},
        {"format version 2", ManifestStatus::Published, manifest_envelope_context(),
         [&](SignedManifest& e) {
             e.format_version = 2;
             resign(e, key);
         },
         &key, signature_failure},
        {"expires exactly now", ManifestStatus::Published, manifest_envelope_context(),
         [&](SignedManifest& e) {
             e.expires_at = now;
             resign(e, key);
         },
         &key, ""},
        {"expired a second ago", ManifestStatus::Published, manifest_envelope_context(),
         [&](SignedManifest& e) {
             e.expires_at = now.saturating_add_seconds(-1);
             resign(e, key);
         },
         &key, signature_failure},
        {"draft", ManifestStatus::Draft, manifest_envelope_context(), none, &key,
         "release manifest is not published: Draft"},
        {"revoked", ManifestStatus::Revoked, manifest_envelope_context(), none, &key,
         "release manifest is not published: Revoked"},
        {"tampered draft reports the signature first", ManifestStatus::Draft, manifest_envelope_context(),
         [](SignedManifest& e) { e.payload.release_version = "x"; }, &key, signature_failure},
    };
    for (const auto& c : cases) {
        auto envelope = SignedManifest::sign(sample_manifest(c.status), KeyId::generate(), now, key, c.context);
        ASSERT_TRUE(envelope) << c.name;
        c.change(*envelope);
        auto verified = verify_manifest(*envelope, c.verify_with->verifying_key(), now);
        if (c.error.empty()) {
            EXPECT_TRUE(verified) << c.name << ": " << verified.error().message();
        } else {
            ASSERT_FALSE(verified) << c.name;
            EXPECT_EQ(verified.error().message(), c.error) << c.name;
        }
    }
}

TEST(VerifyManifest, ContextIsFreshEachCall) {
    auto first = manifest_envelope_context();
    first.push_back("mutated");
    EXPECT_EQ(manifest_envelope_context(), (std::vector<std::string>{"voreldeploy", "release-manifest"}));
}

}  // namespace
}  // namespace voreldeploy_engine::manifest
