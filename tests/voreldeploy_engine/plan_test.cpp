#include <gtest/gtest.h>

#include "voreldeploy_engine/plan.hpp"

namespace voreldeploy_engine::plan {
namespace {

using namespace voreldeploy_contracts::plan;

TEST(ValidateSteps, BoundsEveryParameterAndReportsTheFirstBadStep) {
    const auto slug = [](const char* s) { return *vorelcore_contracts::ids::Slug::parse(s); };
    struct Case {
        const char* name;
        std::vector<DeploymentStepKind> steps;
        std::string error;  // empty: valid
    };
    const Case cases[] = {
        {"empty", {}, "deployment plan rejected: plan has no steps"},
        {"bounds are inclusive", {ScaleReplicas{1000}, HealthCheck{3600}, WaitForHealthy{1}, ScaleReplicas{1}}, ""},
        {"unchecked kinds",
         {ValidateTarget{}, ApplyArtifact{}, SetConfigReference{"", slug("s")}, ApplyMigration{" m "}},
         ""},
        {"zero replicas", {ValidateTarget{}, ScaleReplicas{0}},
         "deployment plan rejected: step 1: replica_count must be greater than zero"},
        {"too many replicas", {ValidateTarget{}, HealthCheck{5}, ScaleReplicas{5000}},
         "deployment plan rejected: step 2: replica_count 5000 exceeds the bound of 1000"},
        {"1001 replicas", {ScaleReplicas{1001}}, "deployment plan rejected: step 0: replica_count 1001 exceeds the bound of 1000"},
        {"zero health timeout", {HealthCheck{0}}, "deployment plan rejected: step 0: timeout_seconds must be greater than zero"},
        {"3601 health timeout", {HealthCheck{3601}},
         "deployment plan rejected: step 0: timeout_seconds 3601 exceeds the bound of 3600"},
        {"wait timeout", {WaitForHealthy{4294967295u}},
         "deployment plan rejected: step 0: timeout_seconds 4294967295 exceeds the bound of 3600"},
        {"blank migration", {ApplyMigration{" \t\n"}}, "deployment plan rejected: step 0: migration_ref must not be empty"},
        {"migration of Unicode spaces only", {ApplyMigration{"\u3000\u00a0"}},
         "deployment plan rejected: step 0: migration_ref must not be empty"},
        {"only the first bad step", {ValidateTarget{}, ScaleReplicas{0}, ValidateTarget{}, HealthCheck{0}},
         "deployment plan rejected: step 1: replica_count must be greater than zero"},
    };
    for (const auto& c : cases) {
        const auto result = validate_steps(c.steps);
        if (c.error.empty()) {
            EXPECT_TRUE(result) << c.name << ": " << result.error().message();
        } else {
            ASSERT_FALSE(result) << c.name;
            EXPECT_EQ(result.error().message(), c.error) << c.name;
        }
    }
}

}  // namespace
}  // namespace voreldeploy_engine::plan
