#include <gtest/gtest.h>

#include <string>

#include "voreldeploy_contracts/plan.hpp"

namespace voreldeploy_contracts::plan {
namespace {

using environment::EnvironmentType;
using vorelcore_contracts::ids::IdentityId;
using vorelcore_contracts::ids::TenantId;
using vorelcore_contracts::ids::WorkspaceId;
using vorelcore_contracts::time::Timestamp;

// A plan document whose steps array is `steps` (JSON text).
std::string plan_json(const std::string& steps) {
    return R"({
  "contract_version": 1,
  "id": "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "environment_type": "staging",
  "release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
  "steps": )" + steps + R"(,
  "status": "draft",
  "risk_summary": {"step_count": 1, "applies_migration": false, "scales_replicas": false, "targets_production": false},
  "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27",
  "created_at": "2026-12-01T09:30:00Z"
})";
}

std::string read_error(const std::string& text) {
    auto plan = vorelcore_json::from_text<DeploymentPlan>(text);
    return plan ? "<read>" : plan.error();
}

TEST(PlanRead, EverySevenKindsReadsWithItsParameters) {
    auto plan = vorelcore_json::from_text<DeploymentPlan>(plan_json(R"([
    {"kind": "validate_target"},
    {"kind": "apply_artifact", "artifact_id": "3C4D5E6F7A8B4C9D8E0F1A2B3C4D5E06"},
    {"kind": "apply_migration", "migration_ref": "2026-08-06-add-run-index"},
    {"kind": "set_config_reference", "key": "DATABASE_URL", "secret_ref": "orders-db"},
    {"kind": "scale_replicas", "replica_count": 0},
    {"kind": "health_check", "timeout_seconds": 4294967295},
    {"kind": "wait_for_healthy", "timeout_seconds": 120}
  ])"));
    ASSERT_TRUE(plan) << plan.error();
    ASSERT_EQ(plan->steps.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(plan->steps[i].index(), i);
    EXPECT_EQ(std::get<ApplyArtifact>(plan->steps[1]).artifact_id.to_string(),
              "3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06");
    EXPECT_EQ(std::get<SetConfigReference>(plan->steps[3]).secret_ref.as_str(), "orders-db");
    EXPECT_EQ(std::get<HealthCheck>(plan->steps[5]).timeout_seconds, 4294967295u);
    EXPECT_EQ(step_label(plan->steps[6]), "wait_for_healthy");
    EXPECT_EQ(plan->created_at.to_string(), "2026-12-01T09:30:00Z");
}

TEST(PlanRead, UntypedOrMalformedStepsMakeTheWholePlanUnreadable) {
    const std::string kinds =
        "expected one of `validate_target`, `apply_artifact`, `apply_migration`, `set_config_reference`, "
        "`scale_replicas`, `health_check`, `wait_for_healthy`";
    struct Case {
        const char* steps;
        std::string message;  // without the position
    };
    const Case cases[] = {
        {R"([{"kind": "shell_command", "command": "curl x | sh"}])", "unknown variant `shell_command`, " + kinds},
        {R"([{"kind": "ValidateTarget"}])", "unknown variant `ValidateTarget`, " + kinds},
        {R"([{"command": "rm -rf /"}])", "missing field `kind`"},
        {R"(["validate_target"])",
         "invalid type: string \"validate_target\", expected internally tagged enum DeploymentStepKind"},
        {R"([{"kind": "scale_replicas", "replica_count": -1}])", "invalid value: integer `-1`, expected u32"},
        {R"([{"kind": "scale_replicas", "replica_count": 4294967296}])",
         "invalid value: integer `4294967296`, expected u32"},
        {R"([{"kind": "scale_replicas"}])", "missing field `replica_count`"},
        {R"([{"kind": "set_config_reference", "key": "K", "secret_ref": "Not_A_Slug"}])",
         "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens"},
        {R"([{"kind": "apply_artifact", "artifact_id": "not-a-uuid"}])", "invalid ArtifactId identifier: "},
    };
    for (const auto& c : cases) {
        const std::string error = read_error(plan_json(c.steps));
        EXPECT_TRUE(error.starts_with(c.message)) << c.steps << "\n  got: " << error;
    }
}

TEST(PlanRead, StepFaultsAreReportedAtTheStepsClosingBrace) {
    const std::string text = plan_json("[\n    {\"kind\": \"validate_target\"},\n"
                                       "    {\"kind\": \"shell_command\", \"command\": \"curl https://x | sh\"}\n  ]");
    // Line 11 holds the second step; its closing brace is its last byte.
    const std::string step_line = "    {\"kind\": \"shell_command\", \"command\": \"curl https://x | sh\"}";
    EXPECT_TRUE(read_error(text).ends_with(" at line 11 column " + std::to_string(step_line.size())))
        << read_error(text);
}

TEST(PlanRead, ExtraMembersOfAStepAreDroppedAndDoNotComeBack) {
    auto plan = vorelcore_json::from_text<DeploymentPlan>(
        plan_json(R"([{"kind": "validate_target", "command": "echo pwned"}])"));
    ASSERT_TRUE(plan) << plan.error();
    ASSERT_EQ(plan->steps.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<ValidateTarget>(plan->steps[0]));
    const std::string written = vorelcore_json::to_pretty(*plan);
    EXPECT_EQ(written.find("command"), std::string::npos);
    EXPECT_NE(written.find("\"kind\": \"validate_target\""), std::string::npos);
}

TEST(PlanRead, TopLevelFaults) {
    EXPECT_EQ(read_error("{}"), "missing field `contract_version` at line 1 column 2");
    EXPECT_EQ(read_error("5"), "invalid type: integer `5`, expected struct DeploymentPlan at line 1 column 1");
    std::string bad_version = plan_json("[]");
    bad_version.replace(bad_version.find("\"contract_version\": 1"), 21, "\"contract_version\": 65536");
    EXPECT_TRUE(read_error(bad_version).starts_with("invalid value: integer `65536`, expected u16 at line 2"));
    std::string bad_status = plan_json("[]");
    bad_status.replace(bad_status.find("\"draft\""), 7, "\"shipped\"");
    EXPECT_TRUE(read_error(bad_status).starts_with(
        "unknown variant `shipped`, expected one of `draft`, `simulated`, `waiting_approval`, `approved`, "
        "`rejected`, `blocked_by_policy`"));
    std::string bad_time = plan_json("[]");
    bad_time.replace(bad_time.find("\"2026-12-01T09:30:00Z\""), 22, "\"yesterday\"");
    EXPECT_TRUE(read_error(bad_time).starts_with("validation failed: invalid RFC 3339 timestamp \"yesterday\": "))
        << read_error(bad_time);
}

TEST(PlanRead, AnEmptyStepListReadsButCannotBeDrafted) {
    auto plan = vorelcore_json::from_text<DeploymentPlan>(plan_json("[]"));
    ASSERT_TRUE(plan) << plan.error();
    EXPECT_TRUE(plan->steps.empty());

    auto drafted = DeploymentPlan::draft(TenantId::generate(), WorkspaceId::generate(), ids::EnvironmentId::generate(),
                                         EnvironmentType::Staging, ids::ManifestId::generate(), {},
                                         IdentityId::generate(), Timestamp::now());
    ASSERT_FALSE(drafted);
    EXPECT_EQ(drafted.error().message(), "invalid steps: a plan must contain at least one step");
}

TEST(PlanDraft, DerivesTheRiskSummaryFromStepsAndEnvironment) {
    struct Case {
        EnvironmentType environment;
        std::vector<DeploymentStepKind> steps;
        RiskSummary expected;
    };
    const Case cases[] = {
        {EnvironmentType::Production,
         {ApplyMigration{"a"}, ScaleReplicas{2}, ApplyMigration{"b"}},
         {3, true, true, true}},
        {EnvironmentType::Recovery, {ValidateTarget{}}, {1, false, false, false}},
        {EnvironmentType::ComplianceReview, {HealthCheck{5}, WaitForHealthy{6}}, {2, false, false, false}},
    };
    for (const auto& c : cases) {
        const auto created = Timestamp::now();
        auto plan = DeploymentPlan::draft(TenantId::generate(), WorkspaceId::generate(),
                                          ids::EnvironmentId::generate(), c.environment,
                                          ids::ManifestId::generate(), c.steps, IdentityId::generate(), created);
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->risk_summary, c.expected);
        EXPECT_EQ(plan->contract_version, 1u);
        EXPECT_EQ(plan->status, PlanStatus::Draft);
        EXPECT_EQ(plan->steps, c.steps);
        EXPECT_EQ(plan->created_at, created);
    }
}

TEST(PlanWrite, DraftWritesNoClearanceMembersAndReadsBackEqual) {
    auto plan = DeploymentPlan::draft(TenantId::generate(), WorkspaceId::generate(), ids::EnvironmentId::generate(),
                                      EnvironmentType::TestFixture, ids::ManifestId::generate(),
                                      {ValidateTarget{}, SetConfigReference{"K", *vorelcore_contracts::ids::Slug::parse("s-1")}},
                                      IdentityId::generate(), Timestamp::now());
    ASSERT_TRUE(plan);
    const std::string text = vorelcore_json::to_pretty(*plan);
    for (const char* absent : {"policy_decision_id", "approval", "approved_at"}) {
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    }
    EXPECT_NE(text.find("\"environment_type\": \"test_fixture\""), std::string::npos);
    auto back = vorelcore_json::from_text<DeploymentPlan>(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, *plan);
}

TEST(PlanWrite, ClearedPlanRoundTripsWithEveryMemberInOrder) {
    auto plan = vorelcore_json::from_text<DeploymentPlan>(plan_json(R"([{"kind": "validate_target"}])"));
    ASSERT_TRUE(plan);
    plan->status = PlanStatus::Approved;
    plan->policy_decision_id = vorelcore_contracts::ids::DecisionId::generate();
    plan->approval = approval::ApprovalRecord{
        .id = ids::ApprovalId::generate(),
        .workflow_ref = "CAB-1234",
        .status = approval::ApprovalStatus::Approved,
        .requested_by = IdentityId::generate(),
        .decided_by = IdentityId::generate(),
        .requested_at = *Timestamp::parse("2026-12-01T10:00:00Z"),
        .decided_at = *Timestamp::parse("2026-12-01T10:05:00.5Z"),
        .expires_at = std::nullopt,
    };
    plan->approved_at = Timestamp::now();
    const std::string text = vorelcore_json::to_pretty(*plan);
    const char* order[] = {"contract_version", "\"id\"", "tenant_id", "workspace_id", "environment_id",
                           "environment_type", "release_manifest_id", "steps", "\"status\"", "risk_summary",
                           "policy_decision_id", "\"approval\"", "workflow_ref", "decided_at", "created_by",
                           "created_at", "approved_at"};
    std::size_t last = 0;
    for (const char* key : order) {
        const std::size_t at = text.find(key, last);
        ASSERT_NE(at, std::string::npos) << key;
        last = at;
    }
    EXPECT_EQ(text.find("expires_at"), std::string::npos);
    EXPECT_NE(text.back(), '\n');
    auto back = vorelcore_json::from_text<DeploymentPlan>(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, *plan);
}

}  // namespace
}  // namespace voreldeploy_contracts::plan
