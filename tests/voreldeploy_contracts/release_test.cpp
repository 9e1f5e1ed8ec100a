#include <gtest/gtest.h>

#include <string>

#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace voreldeploy_contracts {
namespace {

using vorelcore_json::from_text;
using vorelcore_json::to_pretty;

const std::string kHash = "blake3:" + std::string(64, 'a');

std::string manifest_json(const std::string& extra = "") {
    return R"({
  "contract_version": 1,
  "id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "release_version": "2026.08.06-1",
  "products": ["voreldeploy"],
  "artifacts": ["3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06"],
  "manifest_hash": ")" + kHash + R"(",
  "status": "published",)" + extra + R"(
  "created_at": "2026-08-06T10:00:00Z"
})";
}

TEST(ReleaseManifest, EmptyListsAreOmittedAndReadBackEqual) {
    auto manifest = from_text<manifest::ReleaseManifest>(manifest_json());
    ASSERT_TRUE(manifest) << manifest.error();
    EXPECT_EQ(manifest->status, manifest::ManifestStatus::Published);
    EXPECT_EQ(manifest->manifest_hash.to_string(), kHash);
    const std::string text = to_pretty(*manifest);
    for (const char* omitted : {"dependencies", "required_migrations", "required_capabilities",
                                "environment_compatibility", "rollback_compatible_with", "published_at",
                                "revoked_at"}) {
        EXPECT_EQ(text.find(omitted), std::string::npos) << omitted;
    }
    auto back = from_text<manifest::ReleaseManifest>(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, *manifest);

    auto full = *manifest;
    full.required_migrations = {"m-1"};
    full.environment_compatibility = {environment::EnvironmentType::ComplianceReview};
    full.rollback_compatible_with = {ids::ManifestId::generate()};
    full.published_at = full.created_at;
    const std::string full_text = to_pretty(full);
    EXPECT_NE(full_text.find("\"environment_compatibility\": [\n    \"compliance_review\"\n  ]"), std::string::npos);
    EXPECT_EQ(*from_text<manifest::ReleaseManifest>(full_text), full);
}

TEST(ReleaseManifest, RollbackCompatibilityIsADeclaredOneWayRelation) {
    auto current = *from_text<manifest::ReleaseManifest>(manifest_json());
    const ids::ManifestId older = ids::ManifestId::generate();
    EXPECT_FALSE(current.can_roll_back_to(older));
    EXPECT_FALSE(current.can_roll_back_to(current.id)) << "an empty list allows nothing, not even itself";
    current.rollback_compatible_with = {older, current.id};
    EXPECT_TRUE(current.can_roll_back_to(older));
    EXPECT_TRUE(current.can_roll_back_to(current.id));
    EXPECT_FALSE(current.can_roll_back_to(ids::ManifestId::generate()));
}

TEST(ReleaseManifest, MalformedMembersRefuseTheDocument) {
    struct Case {
        std::string from;
        std::string to;
        std::string message_start;
    };
    const Case cases[] = {
        {"\"published\"", "\"Published\"", "unknown variant `Published`, expected one of `draft`, `published`, `revoked`"},
        {"[\"voreldeploy\"]", "[\"Vorel Deploy\"]", "invalid Slug identifier: may contain only"},
        {kHash, "md5:" + std::string(64, 'a'), "unknown or rejected algorithm: md5"},
        {kHash, "blake3:" + std::string(63, 'a'), "validation failed: content hash digest must be 64 hex characters, got 63"},
    };
    for (const auto& c : cases) {
        std::string text = manifest_json();
        text.replace(text.find(c.from), c.from.size(), c.to);
        auto read = from_text<manifest::ReleaseManifest>(text);
        ASSERT_FALSE(read) << c.to;
        EXPECT_TRUE(read.error().starts_with(c.message_start)) << read.error();
    }
}

std::string target_json(const std::string& target_type, const std::string& endpoint_ref) {
    return R"({"id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64", "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43", "name": "edge-1", "target_type": ")" +
           target_type + R"(", "endpoint_ref": ")" + endpoint_ref + R"(",
  "credential_secret_ref": "edge-creds", "status": "active", "health_status": "healthy",
  "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27", "created_at": "2026-08-06T10:00:00Z"})";
}

TEST(DeployTarget, ReferencesAreSlugsAndTypesAreSnakeCase) {
    auto target = from_text<target::DeployTarget>(target_json("vorel_os_node", "edge-endpoint"));
    ASSERT_TRUE(target) << target.error();
    EXPECT_EQ(target->target_type, target::TargetType::VorelOsNode);
    EXPECT_FALSE(target->gateway_ref);
    EXPECT_EQ(*from_text<target::DeployTarget>(to_pretty(*target)), *target);

    struct Case {
        std::string type;
        std::string endpoint;
        std::string message_start;
    };
    const Case cases[] = {
        {"VorelOsNode", "edge", "unknown variant `VorelOsNode`, expected one of `kubernetes`"},
        {"local_filesystem", "Edge", "invalid Slug identifier: may contain only"},
        {"local_filesystem", "/var/lib/edge", "invalid Slug identifier: may contain only"},
        {"local_filesystem", "https://edge.example", "invalid Slug identifier: may contain only"},
        {"local_filesystem", "", "invalid Slug identifier: must not be empty"},
    };
    for (const auto& c : cases) {
        auto read = from_text<target::DeployTarget>(target_json(c.type, c.endpoint));
        ASSERT_FALSE(read) << c.type << " " << c.endpoint;
        EXPECT_TRUE(read.error().starts_with(c.message_start)) << read.error();
    }
}

TEST(ReleaseArtifact, OptionalReferencesComeAndGo) {
    const std::string base = R"({"id": "3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82", "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "product_id": "voreldeploy", "name": "api", "version": "1.2.3", "artifact_type": "binary",
  "object_ref": "11111111-2222-4333-8444-555555555555", "artifact_hash": ")" + kHash + R"(",)";
    auto bare = from_text<artifact::ReleaseArtifact>(base + R"( "status": "registered", "created_at": "2026-08-06T10:00:00Z"})");
    ASSERT_TRUE(bare) << bare.error();
    const std::string text = to_pretty(*bare);
    for (const char* omitted : {"signature_ref", "sbom_ref", "provenance_ref"}) {
        EXPECT_EQ(text.find(omitted), std::string::npos) << omitted;
    }
    auto signed_ref = from_text<artifact::ReleaseArtifact>(
        base + R"( "signature_ref": ")" + std::string(128, 'A') +
        R"(", "status": "verification_failed", "created_at": "2026-08-06T10:00:00Z"})");
    ASSERT_TRUE(signed_ref) << signed_ref.error();
    EXPECT_EQ(signed_ref->status, artifact::ArtifactStatus::VerificationFailed);
    EXPECT_NE(to_pretty(*signed_ref).find("\"signature_ref\": \"" + std::string(128, 'a') + "\""), std::string::npos);
    auto short_sig = from_text<artifact::ReleaseArtifact>(
        base + R"( "signature_ref": "abcd", "status": "registered", "created_at": "2026-08-06T10:00:00Z"})");
    ASSERT_FALSE(short_sig);
    EXPECT_TRUE(short_sig.error().starts_with("validation failed: ed25519 signature must be 128 hex characters, got 4"))
        << short_sig.error();
}

}  // namespace
}  // namespace voreldeploy_contracts
