#include "voreldeploy_engine/run.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run_fixtures.hpp"
#include "vorelcore_json/codec.hpp"

namespace voreldeploy_engine::run {
namespace {

using error::EngineError;
using vorel_run_test::approved_plan;
using vorel_run_test::signer;
using vorel_run_test::stranger;
using vorel_run_test::tick;
using vorelcore_audit::event::SignedAuditEvent;
using voreldeploy_contracts::plan::PlanStatus;
using voreldeploy_contracts::run::Applied;
using voreldeploy_contracts::run::DeploymentRun;
using voreldeploy_contracts::run::Failed;
using voreldeploy_contracts::run::RunStatus;
using voreldeploy_contracts::run::Skipped;
using voreldeploy_contracts::run::StepOutcome;
using voreldeploy_contracts::run::Verified;

std::string outcome(const std::expected<void, EngineError>& result) {
    return result ? "<ok>" : result.error().message();
}

std::vector<std::string> actions(const DeploymentRun& run) {
    std::vector<std::string> out;
    for (const auto& record : run.transitions) out.push_back(record.event.action);
    return out;
}

TEST(RunStart, AnApprovedPlanStartsARunningRunWithOneSignedTransition) {
    const auto plan = approved_plan(3);
    const auto key = signer();
    const auto run = start(plan, key, tick(0)).value();

    EXPECT_EQ(run.tenant_id, plan.tenant_id);
    EXPECT_EQ(run.workspace_id, plan.workspace_id);
    EXPECT_EQ(run.plan_id, plan.id);
    EXPECT_EQ(run.environment_id, plan.environment_id);
    EXPECT_EQ(run.release_manifest_id, plan.release_manifest_id);
    EXPECT_EQ(run.status, RunStatus::Running);
    EXPECT_EQ(run.started_at, tick(0));
    EXPECT_EQ(run.current_step, 0u);
    ASSERT_EQ(run.transitions.size(), 1u);
    const SignedAuditEvent& first = run.transitions[0];
    EXPECT_EQ(first.sequence, 1u);
    EXPECT_FALSE(first.event.previous_event_hash.has_value());
    EXPECT_EQ(first.event.action, "deploy.run.started");
    EXPECT_EQ(first.event.target.target_id, run.id.to_string());
    EXPECT_EQ(first.event.occurred_at, tick(0));
    EXPECT_EQ(outcome(verify_run_integrity(run, key.verifying_key())), "<ok>");

    EXPECT_NE(start(plan, key, tick(0)).value().id, run.id);
}

TEST(RunStart, APlanThatIsNotApprovedIsRefused) {
    for (const PlanStatus status : {PlanStatus::Draft, PlanStatus::Simulated, PlanStatus::WaitingApproval,
                                    PlanStatus::Rejected, PlanStatus::BlockedByPolicy}) {
        auto plan = approved_plan(1);
        plan.status = status;
        const auto run = start(plan, signer(), tick(0));
        ASSERT_FALSE(run);
        EXPECT_EQ(run.error(), EngineError(error::PlanNotApproved{status}));
    }
    auto waiting = approved_plan(1);
    waiting.status = PlanStatus::WaitingApproval;
    EXPECT_EQ(start(waiting, signer(), tick(0)).error().message(),
              "deployment plan is not approved (status: WaitingApproval)");
    auto draft = approved_plan(1);
    draft.status = PlanStatus::Draft;
    EXPECT_EQ(start(draft, signer(), tick(0)).error().message(), "deployment plan is not approved (status: Draft)");
}

// Outcomes recorded one after another, the i-th at tick(i + 1), against the
// state the run must end in.
TEST(RecordStepOutcome, TheStateTable) {
    struct Recording {
        StepOutcome outcome;
        std::string result;  // "<ok>" or the error's display text
    };
    struct Case {
        const char* name;
        std::size_t steps;
        std::vector<Recording> recordings;
        RunStatus status;
        std::uint64_t current_step;
        std::size_t results;
        std::optional<std::string> redacted_error;
        std::vector<std::string> transitions;
    };
    const std::string started = "deploy.run.started";
    const std::string completed = "deploy.run.completed";
    const std::string failed = "deploy.run.failed";
    const Case cases[] = {
        {"one step applied", 1, {{Applied{}, "<ok>"}}, RunStatus::Succeeded, 1, 1, std::nullopt,
         {started, completed}},
        {"more steps left", 3, {{Applied{}, "<ok>"}}, RunStatus::Running, 1, 1, std::nullopt, {started}},
        {"every non-failing outcome advances", 3,
         {{Verified{}, "<ok>"}, {Skipped{"nothing to do"}, "<ok>"}, {Applied{}, "<ok>"}}, RunStatus::Succeeded, 3, 3,
         std::nullopt, {started, completed}},
        {"the second of three fails", 3, {{Applied{}, "<ok>"}, {Failed{"digest mismatch"}, "<ok>"}},
         RunStatus::Failed, 1, 2, "digest mismatch", {started, failed}},
        {"the last step fails", 2, {{Applied{}, "<ok>"}, {Failed{"timed out"}, "<ok>"}}, RunStatus::Failed, 1, 2,
         "timed out", {started, failed}},
        {"recording on a failed run", 3,
         {{Failed{"target unreachable"}, "<ok>"}, {Applied{}, "invalid run transition from Failed to Running"}},
         RunStatus::Failed, 0, 1, "target unreachable", {started, failed}},
        {"recording on a succeeded run", 1,
         {{Applied{}, "<ok>"}, {Failed{"late"}, "invalid run transition from Succeeded to Running"}},
         RunStatus::Succeeded, 1, 1, std::nullopt, {started, completed}},
    };
    const auto key = signer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto plan = approved_plan(c.steps);
        auto run = start(plan, key, tick(0)).value();
        std::optional<std::int64_t> finished_at;
        for (std::size_t i = 0; i < c.recordings.size(); ++i) {
            const auto before = run;
            const auto now = static_cast<std::int64_t>(i + 1);
            EXPECT_EQ(outcome(record_step_outcome(run, plan.steps, c.recordings[i].outcome, key, tick(now))),
                      c.recordings[i].result);
            if (c.recordings[i].result != "<ok>") {
                EXPECT_EQ(run, before) << "a refusal changed the run";
            }
            if (before.status == RunStatus::Running && run.status != RunStatus::Running) finished_at = now;
        }

        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.current_step, c.current_step);
        EXPECT_EQ(run.redacted_error, c.redacted_error);
        EXPECT_EQ(actions(run), c.transitions);
        EXPECT_EQ(run.completed_at, finished_at ? std::optional(tick(*finished_at)) : std::nullopt);
        ASSERT_EQ(run.step_results.size(), c.results);
        for (std::size_t i = 0; i < run.step_results.size(); ++i) {
            const auto& result = run.step_results[i];
            EXPECT_EQ(result.step_index, i);
            EXPECT_EQ(result.step_label, voreldeploy_contracts::plan::step_label(plan.steps[i]));
            EXPECT_EQ(result.outcome, c.recordings[i].outcome);
            EXPECT_EQ(result.started_at, tick(static_cast<std::int64_t>(i + 1)));
            EXPECT_EQ(result.completed_at, result.started_at);
        }
        // The transitions form one chain: numbered from 1, each linked to
        // the one before, the closing one dated when the run finished.
        for (std::size_t i = 0; i < run.transitions.size(); ++i) {
            EXPECT_EQ(run.transitions[i].sequence, i + 1);
            if (i > 0) {
                EXPECT_EQ(run.transitions[i].event.previous_event_hash,
                          run.transitions[i - 1].event.event_hash().value());
                EXPECT_EQ(run.transitions[i].event.occurred_at, run.completed_at);
            }
        }
        EXPECT_EQ(outcome(verify_run_integrity(run, key.verifying_key())), "<ok>");
    }
}

TEST(RecordStepOutcome, NoPendingStepNamesTheIndexAndChangesNothing) {
    const auto key = signer();
    const auto plan = approved_plan(3);
    struct Case {
        const char* name;
        std::function<void(DeploymentRun&)> prepare;
        std::size_t steps_given;
        std::string error;
    };
    const Case cases[] = {
        {"a running run already past its last step", [](DeploymentRun& run) { run.current_step = 3; }, 3,
         "run has no pending step at index 3"},
        {"fewer steps handed in than already recorded",
         [&](DeploymentRun& run) { ASSERT_TRUE(record_step_outcome(run, plan.steps, Applied{}, key, tick(1))); }, 1,
         "run has no pending step at index 1"},
        {"a plan without steps", [](DeploymentRun&) {}, 0, "run has no pending step at index 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto run = start(plan, key, tick(0)).value();
        c.prepare(run);
        const auto before = run;
        const std::span<const voreldeploy_contracts::plan::DeploymentStepKind> steps(plan.steps.data(),
                                                                                       c.steps_given);
        const auto result = record_step_outcome(run, steps, Applied{}, key, tick(9));
        EXPECT_EQ(outcome(result), c.error);
        EXPECT_TRUE(!result && result.error().is<error::NoPendingStep>());
        EXPECT_EQ(run, before);
    }
}

TEST(RecordStepOutcome, AChainThatCannotBeExtendedStopsBeforeTheStatusChanges) {
    const auto key = signer();
    const auto plan = approved_plan(1);
    auto run = start(plan, key, tick(0)).value();
    run.transitions.clear();  // nothing left to continue
    EXPECT_EQ(outcome(record_step_outcome(run, plan.steps, Applied{}, key, tick(1))),
              "could not build or extend the run's audit chain");
    EXPECT_EQ(run.step_results.size(), 1u);
    EXPECT_EQ(run.current_step, 1u);
    EXPECT_EQ(run.status, RunStatus::Running);
    EXPECT_FALSE(run.completed_at.has_value());
}

// Every run the table can produce is two transitions long.
TEST(VerifyRunIntegrity, AnyEditOfTheTransitionsOrAnotherKeyFails) {
    struct Case {
        const char* name;
        std::function<void(DeploymentRun&)> tamper;
        bool other_key;
        std::string expected;
    };
    const std::string kFailed = "transition chain integrity check failed";
    const Case cases[] = {
        {"untouched", [](DeploymentRun&) {}, false, "<ok>"},
        {"first event's action edited", [](DeploymentRun& r) { r.transitions[0].event.action = "deploy.run.queued"; },
         false, kFailed},
        {"closing event's outcome edited",
         [](DeploymentRun& r) { r.transitions[1].event.result = vorelcore_contracts::audit::AuditOutcome::Success; },
         false, kFailed},
        {"first transition removed", [](DeploymentRun& r) { r.transitions.erase(r.transitions.begin()); }, false,
         kFailed},
        {"transitions reordered", [](DeploymentRun& r) { std::swap(r.transitions[0], r.transitions[1]); }, false,
         kFailed},
        {"closing transition renumbered", [](DeploymentRun& r) { r.transitions[1].sequence = 3; }, false, kFailed},
        {"a transition of another run spliced in",
         [](DeploymentRun& r) {
             const auto key = signer();
             auto other = start(approved_plan(1), key, tick(0)).value();
             ASSERT_TRUE(record_step_outcome(other, approved_plan(1).steps, Failed{"x"}, key, tick(2)));
             r.transitions[1] = other.transitions[1];
         },
         false, kFailed},
        {"verified with another key", [](DeploymentRun&) {}, true, kFailed},
        // The chain alone cannot tell a history cut short at its end: the
        // remaining prefix is itself a valid chain.
        {"closing transition cut off", [](DeploymentRun& r) { r.transitions.pop_back(); }, false, "<ok>"},
    };
    const auto key = signer();
    const auto plan = approved_plan(2);
    auto pristine = start(plan, key, tick(0)).value();
    ASSERT_TRUE(record_step_outcome(pristine, plan.steps, Applied{}, key, tick(1)));
    ASSERT_TRUE(record_step_outcome(pristine, plan.steps, Failed{"boom"}, key, tick(2)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto run = pristine;
        c.tamper(run);
        EXPECT_EQ(outcome(verify_run_integrity(run, c.other_key ? stranger().verifying_key() : key.verifying_key())),
                  c.expected);
    }
}

// The written run with the values drawn at random or computed (run id,
// event ids, signatures, event hashes) replaced by markers.
std::string written(const DeploymentRun& run) {
    std::vector<std::pair<std::string, std::string>> markers{{run.id.to_string(), "<run-id>"}};
    for (std::size_t i = 0; i < run.transitions.size(); ++i) {
        const auto n = std::to_string(i + 1);
        markers.emplace_back(run.transitions[i].event.event_id.to_string(), "<event-id-" + n + ">");
        markers.emplace_back(run.transitions[i].signature.to_hex(), "<signature-" + n + ">");
        markers.emplace_back(run.transitions[i].event.event_hash().value().to_string(), "<event-hash-" + n + ">");
    }
    std::string text = vorelcore_json::to_pretty(run);
    for (const auto& [value, marker] : markers) {
        for (auto at = text.find(value); at != std::string::npos; at = text.find(value, at + marker.size())) {
            text.replace(at, value.size(), marker);
        }
    }
    return text;
}

const std::string kRunHead = R"({
  "id": "<run-id>",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "plan_id": "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "release_manifest_id": "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85",
)";

const std::string kStartedRecord = R"(    {
      "event": {
        "event_id": "<event-id-1>",
        "product_id": "voreldeploy",
        "actor": {
          "actor_type": "service",
          "actor_id": "voreldeploy-worker"
        },
        "target": {
          "target_type": "deployment_run",
          "target_id": "<run-id>"
        },
        "action": "deploy.run.started",
        "result": "success",
        "severity": "info",
        "category": "service_lifecycle",
        "occurred_at": "2026-12-11T11:40:00Z",
        "retention_class": "operational"
      },
      "sequence": 1,
      "signature": "<signature-1>"
    })";

TEST(DeploymentRunJson, AFreshRun) {
    const auto run = start(approved_plan(2), signer(), tick(0)).value();
    EXPECT_EQ(written(run), kRunHead + R"(  "status": "running",
  "started_at": "2026-12-11T11:40:00Z",
  "current_step": 0,
  "transitions": [
)" + kStartedRecord + R"(
  ]
})");
}

TEST(DeploymentRunJson, AFailedRun) {
    const auto key = signer();
    const auto plan = approved_plan(2);
    auto run = start(plan, key, tick(0)).value();
    ASSERT_TRUE(record_step_outcome(run, plan.steps, Applied{}, key, tick(1)));
    ASSERT_TRUE(record_step_outcome(run, plan.steps, Failed{"digest mismatch for orders-api.tar"}, key, tick(2)));
    EXPECT_EQ(written(run), kRunHead + R"(  "status": "failed",
  "started_at": "2026-12-11T11:40:00Z",
  "completed_at": "2026-12-11T11:40:02Z",
  "current_step": 1,
  "step_results": [
    {
      "step_index": 0,
      "step_label": "validate_target",
      "outcome": {
        "outcome": "applied"
      },
      "started_at": "2026-12-11T11:40:01Z",
      "completed_at": "2026-12-11T11:40:01Z"
    },
    {
      "step_index": 1,
      "step_label": "apply_artifact",
      "outcome": {
        "outcome": "failed",
        "reason_redacted": "digest mismatch for orders-api.tar"
      },
      "started_at": "2026-12-11T11:40:02Z",
      "completed_at": "2026-12-11T11:40:02Z"
    }
  ],
  "redacted_error": "digest mismatch for orders-api.tar",
  "transitions": [
)" + kStartedRecord + R"(,
    {
      "event": {
        "event_id": "<event-id-2>",
        "product_id": "voreldeploy",
        "actor": {
          "actor_type": "service",
          "actor_id": "voreldeploy-worker"
        },
        "target": {
          "target_type": "deployment_run",
          "target_id": "<run-id>"
        },
        "action": "deploy.run.failed",
        "result": "failure",
        "severity": "warning",
        "category": "service_lifecycle",
        "occurred_at": "2026-12-11T11:40:02Z",
        "retention_class": "operational",
        "previous_event_hash": "<event-hash-1>"
      },
      "sequence": 2,
      "signature": "<signature-2>"
    }
  ]
})");
}

TEST(DeploymentRunJson, ARunReadsBackAndStillVerifies) {
    const auto key = signer();
    const auto plan = approved_plan(1);
    auto run = start(plan, key, tick(0)).value();
    ASSERT_TRUE(record_step_outcome(run, plan.steps, Verified{}, key, tick(1)));
    auto read = vorelcore_json::from_text<DeploymentRun>(vorelcore_json::to_pretty(run));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, run);
    EXPECT_EQ(outcome(verify_run_integrity(*read, key.verifying_key())), "<ok>");
}

}  // namespace
}  // namespace voreldeploy_engine::run
