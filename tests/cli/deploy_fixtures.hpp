#pragma once
// Deployment files for end-to-end tests: artifacts with their payloads, an
// artifact bundle and target documents.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "../support/run_cli.hpp"
#include "document_io.hpp"
#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/plan.hpp"

namespace vorel_test {

inline voreldeploy_contracts::artifact::ReleaseArtifact make_artifact(const std::string& content) {
    voreldeploy_contracts::artifact::ReleaseArtifact a;
    a.id = voreldeploy_contracts::ids::ArtifactId::generate();
    a.product_id = *vorelcore_contracts::ids::ProductId::parse("voreldeploy");
    a.name = "orders-api";
    a.version = "1.2.3";
    a.artifact_type = voreldeploy_contracts::artifact::ArtifactType::Binary;
    a.artifact_hash = vorelcore_crypto::hash::blake3_hash(std::string_view(content));
    a.created_at = *vorelcore_contracts::time::Timestamp::parse("2026-12-01T00:00:00Z");
    return a;
}

// A bundle of (artifact, payload file name relative to the bundle).
inline std::string write_bundle(const ScratchDir& dir,
                                const std::vector<std::pair<voreldeploy_contracts::artifact::ReleaseArtifact, std::string>>& entries,
                                const std::string& name) {
    std::string text = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) text += ",";
        text += "{\"artifact\": " + vorelcore_json::to_pretty(entries[i].first) + ", \"payload_file\": \"" +
                entries[i].second + "\"}";
    }
    return dir.write(name, text + "]").string();
}

inline std::string write_target(const ScratchDir& dir, const std::string& type) {
    return dir
        .write("target-" + type + ".json", R"({"id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82", "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "name": "edge-1", "target_type": ")" + type + R"(", "endpoint_ref": "edge-endpoint",
  "credential_secret_ref": "edge-creds", "status": "active", "health_status": "healthy",
  "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27", "created_at": "2026-08-06T10:00:00Z"})")
        .string();
}

// An approved deployment plan of `steps` for a staging environment.
inline std::string write_approved_plan(const ScratchDir& dir, std::vector<voreldeploy_contracts::plan::DeploymentStepKind> steps,
                                       const std::string& name = "plan.json") {
    auto drafted = voreldeploy_contracts::plan::DeploymentPlan::draft(
        vorelcore_contracts::ids::TenantId::generate(), vorelcore_contracts::ids::WorkspaceId::generate(),
        voreldeploy_contracts::ids::EnvironmentId::generate(), voreldeploy_contracts::environment::EnvironmentType::Staging,
        voreldeploy_contracts::ids::ManifestId::generate(), std::move(steps),
        vorelcore_contracts::ids::IdentityId::generate(), vorelcore_contracts::time::Timestamp::now());
    EXPECT_TRUE(drafted);
    drafted->status = voreldeploy_contracts::plan::PlanStatus::Approved;
    const std::string path = (dir / name).string();
    EXPECT_TRUE(razavovivodidi::write_json(path, *drafted));
    return path;
}

}  // namespace vorel_test
