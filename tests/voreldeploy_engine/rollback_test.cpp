#include <gtest/gtest.h>

#include "voreldeploy_engine/rollback.hpp"

namespace voreldeploy_engine::rollback {
namespace {

using namespace voreldeploy_contracts;
using vorelcore_contracts::time::Timestamp;
using voreldeploy_contracts::rollback::RollbackPlan;
using voreldeploy_contracts::rollback::RollbackStatus;

manifest::ReleaseManifest release(std::vector<ids::ArtifactId> artifacts) {
    manifest::ReleaseManifest m;
    m.id = ids::ManifestId::generate();
    m.tenant_id = vorelcore_contracts::ids::TenantId::generate();
    m.workspace_id = vorelcore_contracts::ids::WorkspaceId::generate();
    m.artifacts = std::move(artifacts);
    m.status = manifest::ManifestStatus::Published;
    return m;
}

RollbackPlan drafted(const manifest::ReleaseManifest& from, const manifest::ReleaseManifest& to) {
    auto plan = draft_rollback_plan(from, to, ids::EnvironmentId::generate(), environment::EnvironmentType::Sandbox,
                                    "bad release", vorelcore_contracts::ids::IdentityId::generate(), Timestamp::now());
    EXPECT_TRUE(plan) << plan.error().message();
    return *plan;
}

TEST(Rollback, OnlyADeclaredCompatibleReleaseCanBeReturnedTo) {
    auto v1 = release({ids::ArtifactId::generate()});
    auto v2 = release({ids::ArtifactId::generate()});
    v2.rollback_compatible_with = {v1.id};
    const RollbackPlan plan = drafted(v2, v1);
    EXPECT_EQ(plan.status, RollbackStatus::Draft);
    EXPECT_EQ(plan.from_release_manifest_id, v2.id);
    EXPECT_EQ(plan.to_release_manifest_id, v1.id);
    EXPECT_FALSE(plan.policy_decision_id);
    auto backwards = draft_rollback_plan(v1, v2, ids::EnvironmentId::generate(), environment::EnvironmentType::Sandbox,
                                         "x", vorelcore_contracts::ids::IdentityId::generate(), Timestamp::now());
    ASSERT_FALSE(backwards);
    EXPECT_EQ(backwards.error().message(), "rollback target manifest is not declared compatible with the current release");
}

TEST(Rollback, TheDerivedPlanIsTypedClearedAndBoundedByTheSameRules) {
    const auto a1 = ids::ArtifactId::generate();
    const auto a2 = ids::ArtifactId::generate();
    auto v1 = release({a1, a2});
    auto v2 = release({});
    v2.rollback_compatible_with = {v1.id};
    RollbackPlan plan = drafted(v2, v1);
    const auto creator = vorelcore_contracts::ids::IdentityId::generate();

    auto refused = build_rollback_deployment_plan(plan, v1, creator, Timestamp::now());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message(), "rollback plan is not approved (status: Draft)");
    plan.status = RollbackStatus::WaitingApproval;
    EXPECT_EQ(build_rollback_deployment_plan(plan, v1, creator, Timestamp::now()).error().message(),
              "rollback plan is not approved (status: WaitingApproval)");

    plan.status = RollbackStatus::Approved;
    plan.policy_decision_id = vorelcore_contracts::ids::DecisionId::generate();
    EXPECT_EQ(build_rollback_deployment_plan(plan, v2, creator, Timestamp::now()).error().message(),
              "rollback target manifest is not declared compatible with the current release");

    auto derived = build_rollback_deployment_plan(plan, v1, creator, Timestamp::now());
    ASSERT_TRUE(derived) << derived.error().message();
    const std::vector<plan::DeploymentStepKind> expected{plan::ValidateTarget{}, plan::ApplyArtifact{a1},
                                                         plan::ApplyArtifact{a2}, plan::HealthCheck{30}};
    EXPECT_EQ(derived->steps, expected);
    EXPECT_EQ(derived->status, plan::PlanStatus::Approved);
    EXPECT_EQ(derived->policy_decision_id, plan.policy_decision_id);
    EXPECT_EQ(derived->release_manifest_id, v1.id);
    EXPECT_EQ(derived->environment_id, plan.environment_id);
    EXPECT_EQ(derived->tenant_id, v1.tenant_id);
    EXPECT_TRUE(derived->approved_at);

    // A release without artifacts still yields a valid two-step plan.
    auto empty = release({});
    plan.to_release_manifest_id = empty.id;
    auto two = build_rollback_deployment_plan(plan, empty, creator, Timestamp::now());
    ASSERT_TRUE(two);
    EXPECT_EQ(two->steps.size(), 2u);
}

TEST(Rollback, ExecutionStartsOnlyOnceFromApproved) {
    auto v1 = release({ids::ArtifactId::generate()});
    auto v2 = release({});
    v2.rollback_compatible_with = {v1.id};
    RollbackPlan plan = drafted(v2, v1);
    plan.status = RollbackStatus::Approved;
    const auto key = vorelcore_crypto::keys::SigningKey::from_bytes({9});
    auto derived = build_rollback_deployment_plan(plan, v1, vorelcore_contracts::ids::IdentityId::generate(), Timestamp::now());
    ASSERT_TRUE(derived);
    auto run = start_execution(plan, *derived, key, Timestamp::now());
    ASSERT_TRUE(run) << run.error().message();
    EXPECT_EQ(plan.status, RollbackStatus::Executing);
    EXPECT_EQ(run->status, run::RunStatus::Running);
    EXPECT_FALSE(run->rollback_plan_id);
    auto again = start_execution(plan, *derived, key, Timestamp::now());
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().message(), "rollback plan is not approved (status: Executing)");
}

}  // namespace
}  // namespace voreldeploy_engine::rollback
