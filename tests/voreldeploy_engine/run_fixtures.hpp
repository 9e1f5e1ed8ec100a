#pragma once
// Plans, keys and times shared by the run tests.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_contracts/plan.hpp"

namespace vorel_run_test {

inline vorelcore_crypto::keys::SigningKey key_from(std::uint8_t first) {
    std::array<std::uint8_t, 32> seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(first + 3 * i);
    return vorelcore_crypto::keys::SigningKey::from_bytes(seed);
}
inline vorelcore_crypto::keys::SigningKey signer() { return key_from(0x11); }
inline vorelcore_crypto::keys::SigningKey stranger() { return key_from(0x77); }

inline vorelcore_contracts::time::Timestamp at(std::string_view text) {
    return vorelcore_contracts::time::Timestamp::parse(text).value();
}
// 2026-12-11T11:40:00Z plus `seconds`.
inline vorelcore_contracts::time::Timestamp tick(std::int64_t seconds) {
    return at("2026-12-11T11:40:00Z").saturating_add_seconds(seconds);
}

template <class Id>
Id id(std::string_view text) {
    return Id::parse(text).value();
}

// An approved plan with fixed identifiers whose first `count` steps are
// taken from a fixed list of seven, one of each kind.
inline voreldeploy_contracts::plan::DeploymentPlan approved_plan(std::size_t count) {
    namespace plan = voreldeploy_contracts::plan;
    namespace ids = voreldeploy_contracts::ids;
    const std::vector<plan::DeploymentStepKind> all{
        plan::ValidateTarget{},
        plan::ApplyArtifact{id<ids::ArtifactId>("3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06")},
        plan::HealthCheck{30},
        plan::ApplyMigration{"2026-08-06-add-run-index"},
        plan::SetConfigReference{"DATABASE_URL", vorelcore_contracts::ids::Slug::parse("orders-db").value()},
        plan::ScaleReplicas{3},
        plan::WaitForHealthy{120},
    };
    plan::DeploymentPlan p;
    p.contract_version = 1;
    p.id = id<ids::PlanId>("5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01");
    p.tenant_id = id<vorelcore_contracts::ids::TenantId>("0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82");
    p.workspace_id = id<vorelcore_contracts::ids::WorkspaceId>("7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43");
    p.environment_id = id<ids::EnvironmentId>("c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64");
    p.environment_type = voreldeploy_contracts::environment::EnvironmentType::Staging;
    p.release_manifest_id = id<ids::ManifestId>("9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85");
    p.steps.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
    p.status = plan::PlanStatus::Approved;
    p.risk_summary.step_count = count;
    p.created_by = id<vorelcore_contracts::ids::IdentityId>("e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27");
    p.created_at = at("2026-12-01T09:30:00Z");
    p.approved_at = at("2026-12-10T09:30:00Z");
    return p;
}

}  // namespace vorel_run_test
