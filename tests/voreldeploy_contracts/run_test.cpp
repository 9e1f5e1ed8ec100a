#include "voreldeploy_contracts/run.hpp"

#include <gtest/gtest.h>

#include <string>

#include "vorelcore_json/codec.hpp"

namespace voreldeploy_contracts::run {
namespace {

using vorelcore_contracts::time::Timestamp;

TEST(StepOutcomeJson, TheOutcomeMemberNamesTheVariant) {
    struct Case {
        StepOutcome outcome;
        std::string json;
    };
    const Case cases[] = {
        {Applied{}, R"({"outcome": "applied"})"},
        {Verified{}, R"({"outcome": "verified"})"},
        {Skipped{"already at 3 replicas"}, R"({"outcome": "skipped", "reason": "already at 3 replicas"})"},
        {Failed{"target unreachable"}, R"({"outcome": "failed", "reason_redacted": "target unreachable"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(vorelcore_json::to_value(c.outcome), vorelcore_json::parse(c.json).value());
        auto read = vorelcore_json::from_text<StepOutcome>(c.json);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, c.outcome);
    }
}

TEST(StepOutcomeJson, ReadErrors) {
    struct Case {
        const char* json;
        std::string error;
    };
    const Case cases[] = {
        {R"({"outcome": "exploded"})",
         "unknown variant `exploded`, expected one of `applied`, `verified`, `skipped`, `failed` at line 1 column 23"},
        {R"({"outcome": "Applied"})",
         "unknown variant `Applied`, expected one of `applied`, `verified`, `skipped`, `failed` at line 1 column 22"},
        {R"({"outcome": "failed", "reason": "x"})", "missing field `reason_redacted` at line 1 column 36"},
        {R"({"reason_redacted": "x"})", "missing field `outcome` at line 1 column 24"},
        {R"("applied")", "invalid type: string \"applied\", expected internally tagged enum StepOutcome at line 1 column 9"},
    };
    for (const auto& c : cases) {
        auto read = vorelcore_json::from_text<StepOutcome>(c.json);
        ASSERT_FALSE(read) << c.json;
        EXPECT_EQ(read.error(), c.error);
    }
}

TEST(StepResultJson, TheOutcomeIsANestedObject) {
    const StepResult result{.step_index = 1,
                            .step_label = "apply_artifact",
                            .outcome = Failed{"digest mismatch for orders-api.tar"},
                            .started_at = Timestamp::parse("2026-12-11T11:40:00Z").value(),
                            .completed_at = Timestamp::parse("2026-12-11T11:40:02Z").value()};
    EXPECT_EQ(vorelcore_json::to_pretty(result), R"({
  "step_index": 1,
  "step_label": "apply_artifact",
  "outcome": {
    "outcome": "failed",
    "reason_redacted": "digest mismatch for orders-api.tar"
  },
  "started_at": "2026-12-11T11:40:00Z",
  "completed_at": "2026-12-11T11:40:02Z"
})");
}

// A run with every member set that the engine never sets itself: the
// members still take their places.
TEST(DeploymentRunJson, RollbackAndEvidenceReferencesSitBetweenTheErrorAndTheTransitions) {
    const std::string text = R"({
  "id": "0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "plan_id": "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
  "status": "rolled_back",
  "current_step": 0,
  "redacted_error": "health check timed out",
  "rollback_plan_id": "8b7a6c5d-4e3f-4a2b-9c1d-0e9f8a7b6c5d",
  "evidence_ref": "6e5d4c3b-2a19-4807-b6a5-948372615a4b"
})";
    auto run = vorelcore_json::from_text<DeploymentRun>(text);
    ASSERT_TRUE(run) << run.error();
    EXPECT_EQ(run->status, RunStatus::RolledBack);
    EXPECT_FALSE(run->started_at.has_value());
    EXPECT_TRUE(run->transitions.empty());
    EXPECT_EQ(vorelcore_json::to_pretty(*run), text);
}

}  // namespace
}  // namespace voreldeploy_contracts::run
