#include "voreldeploy_engine/audit.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "run_fixtures.hpp"
#include "vorelcore_json/codec.hpp"

namespace voreldeploy_engine::audit {
namespace {

using vorelcore_audit::event::AuditEvent;
using vorelcore_contracts::audit::AuditActor;
using vorelcore_contracts::time::Timestamp;
using voreldeploy_contracts::ids::RunId;

// The written event with its fresh event id replaced by a marker.
std::string written(const AuditEvent& event) {
    std::string text = vorelcore_json::to_pretty(event);
    const std::string id = event.event_id.to_string();
    text.replace(text.find(id), id.size(), "<event-id>");
    return text;
}

TEST(RunAuditEvents, EachTransitionHasItsFixedContents) {
    struct Case {
        const char* name;
        std::function<AuditEvent(const RunId&, const AuditActor&, const Timestamp&)> build;
        const char* action;
        const char* result;
        const char* severity;
    };
    const Case cases[] = {
        {"started", run_started_event, "deploy.run.started", "success", "info"},
        {"succeeded", run_succeeded_event, "deploy.run.completed", "success", "info"},
        {"failed", run_failed_event, "deploy.run.failed", "failure", "warning"},
    };
    const auto run = vorel_run_test::id<RunId>("0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const AuditEvent event = c.build(run, worker_actor(), vorel_run_test::tick(5));
        EXPECT_EQ(written(event), std::string(R"({
  "event_id": "<event-id>",
  "product_id": "voreldeploy",
  "actor": {
    "actor_type": "service",
    "actor_id": "voreldeploy-worker"
  },
  "target": {
    "target_type": "deployment_run",
    "target_id": "0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9"
  },
  "action": ")") + c.action + R"(",
  "result": ")" + c.result + R"(",
  "severity": ")" + c.severity + R"(",
  "category": "service_lifecycle",
  "occurred_at": "2026-12-11T11:40:05Z",
  "retention_class": "operational"
})");
        // A fresh event id every time.
        EXPECT_NE(c.build(run, worker_actor(), vorel_run_test::tick(5)).event_id, event.event_id);
        // The actor is the one handed in.
        const AuditActor someone{vorelcore_contracts::audit::ActorType::User, "alice", std::nullopt};
        EXPECT_EQ(c.build(run, someone, vorel_run_test::tick(5)).actor, someone);
    }
}

TEST(RunAuditEvents, TheProductIsVoreldeploy) { EXPECT_EQ(product_id().as_str(), "voreldeploy"); }

}  // namespace
}  // namespace voreldeploy_engine::audit
