#include "voreldeploy_contracts/rollback.hpp"

#include <gtest/gtest.h>

#include <string>

#include "vorelcore_json/codec.hpp"

namespace voreldeploy_contracts::rollback {
namespace {

const std::string kFull = R"({
  "id": "8b7a6c5d-4e3f-4a2b-9c1d-0e9f8a7b6c5d",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "environment_type": "production",
  "from_release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
  "to_release_manifest_id": "1a2b3c4d-5e6f-4a7b-8c9d-0e1f2a3b4c5d",
  "reason_redacted": "error rate above 5% after release — rolling back",
  "status": "approved",
  "policy_decision_id": "2b3c4d5e-6f70-4a8b-9c0d-1e2f3a4b5c6d",
  "approval": {
    "id": "3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e6f",
    "workflow_ref": "CHG-42",
    "status": "approved",
    "requested_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27",
    "decided_by": "f1e2d3c4-b5a6-4978-8a9b-0c1d2e3f4a28",
    "requested_at": "2026-12-11T11:00:00Z",
    "decided_at": "2026-12-11T11:05:00Z"
  },
  "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27",
  "created_at": "2026-12-11T10:55:00Z",
  "executed_at": "2026-12-11T11:30:00Z"
})";

std::string read_error(const std::string& text) {
    auto plan = vorelcore_json::from_text<RollbackPlan>(text);
    return plan ? "<read>" : plan.error();
}

// kFull with `from` replaced by `to` (the first occurrence).
std::string edited(const std::string& from, const std::string& to) {
    std::string text = kFull;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(RollbackPlanJson, AFullPlanReadsAndIsWrittenBackInMemberOrder) {
    auto plan = vorelcore_json::from_text<RollbackPlan>(kFull);
    ASSERT_TRUE(plan) << plan.error();
    EXPECT_EQ(plan->status, RollbackStatus::Approved);
    EXPECT_EQ(plan->environment_type, environment::EnvironmentType::Production);
    ASSERT_TRUE(plan->approval.has_value());
    EXPECT_EQ(plan->approval->workflow_ref, "CHG-42");
    EXPECT_EQ(vorelcore_json::to_pretty(*plan), kFull);
}

TEST(RollbackPlanJson, OptionalMembersReadAsAbsentWhenMissingOrNullAndAreLeftOut) {
    const std::string minimal = R"({
  "id": "8b7a6c5d-4e3f-4a2b-9c1d-0e9f8a7b6c5d",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "environment_type": "staging",
  "from_release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
  "to_release_manifest_id": "1a2b3c4d-5e6f-4a7b-8c9d-0e1f2a3b4c5d",
  "reason_redacted": "bad release",
  "status": "draft",
  "created_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27",
  "created_at": "2026-12-11T10:55:00Z"
})";
    auto plan = vorelcore_json::from_text<RollbackPlan>(minimal);
    ASSERT_TRUE(plan) << plan.error();
    EXPECT_EQ(vorelcore_json::to_pretty(*plan), minimal);

    std::string with_nulls = minimal;
    with_nulls.replace(with_nulls.find("  \"created_by\""), 0,
                       "  \"policy_decision_id\": null,\n  \"approval\": null,\n  \"executed_at\": null,\n"
                       "  \"tenant_id\": \"ignored\",\n");
    auto same = vorelcore_json::from_text<RollbackPlan>(with_nulls);
    ASSERT_TRUE(same) << same.error();
    EXPECT_EQ(*same, *plan);
}

TEST(RollbackPlanJson, ReadErrors) {
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {edited("  \"reason_redacted\": \"error rate above 5% after release — rolling back\",\n", ""),
         "missing field `reason_redacted` at line 21 column 1"},
        {edited("\"status\": \"approved\"", "\"status\": \"Approved\""),
         "unknown variant `Approved`, expected one of `draft`, `waiting_approval`, `approved`, `rejected`, "
         "`blocked_by_policy`, `executing`, `succeeded`, `failed` at line 8 column 22"},
        {edited("\"production\"", "\"prod\""),
         "unknown variant `prod`, expected one of `development`, `sandbox`, `staging`, `production`, `recovery`, "
         "`compliance_review`, `test_fixture` at line 4 column 28"},
        {edited("\"workflow_ref\": \"CHG-42\"", "\"workflow_ref\": 42"),
         "invalid type: integer `42`, expected a string at line 12 column 22"},
        {edited("\"reason_redacted\": \"error rate above 5% after release — rolling back\"",
                "\"reason_redacted\": null"),
         "invalid type: null, expected a string at line 7 column 25"},
        {edited("\"2026-12-11T11:30:00Z\"", "\"tomorrow\""),
         "validation failed: invalid RFC 3339 timestamp \"tomorrow\": "},
    };
    for (const auto& c : cases) {
        const std::string error = read_error(c.text);
        EXPECT_TRUE(error.starts_with(c.error)) << "expected: " << c.error << "\n     got: " << error;
    }
}

}  // namespace
}  // namespace voreldeploy_contracts::rollback
