#include "voreldeploy_engine/audit.hpp"

#include <string>
#include <string_view>

namespace voreldeploy_engine::audit {

using vorelcore_contracts::audit::AuditActor;
using vorelcore_contracts::audit::AuditCategory;
using vorelcore_contracts::audit::AuditOutcome;
using vorelcore_contracts::audit::AuditSeverity;
using vorelcore_contracts::audit::RetentionClass;
using vorelcore_contracts::time::Timestamp;
using vorelcore_audit::event::AuditEvent;

vorelcore_contracts::ids::ProductId product_id() {
    // The slug is a constant that satisfies the slug rules.
    static const auto id = vorelcore_contracts::ids::ProductId::parse(vorelcore_contracts::ids::kProductSlug).value();
    return id;
}

AuditActor worker_actor() {
    return AuditActor{.actor_type = vorelcore_contracts::audit::ActorType::Service,
                      .actor_id = std::string("voreldeploy-worker"),
                      .display_name_encrypted = std::nullopt};
}

namespace {

AuditEvent run_event(const voreldeploy_contracts::ids::RunId& run_id, const AuditActor& actor, const Timestamp& now,
                     std::string_view action, AuditOutcome result, AuditSeverity severity) {
    AuditEvent event;
    event.event_id = vorelcore_contracts::ids::AuditEventId::generate();
    event.product_id = product_id();
    event.actor = actor;
    event.target = {.target_type = "deployment_run", .target_id = run_id.to_string()};
    event.action = std::string(action);
    event.result = result;
    event.severity = severity;
    event.category = AuditCategory::ServiceLifecycle;
    event.occurred_at = now;
    event.retention_class = RetentionClass::Operational;
    return event;
}

}  // namespace

AuditEvent run_started_event(const voreldeploy_contracts::ids::RunId& run_id, const AuditActor& actor,
                             const Timestamp& now) {
    return run_event(run_id, actor, now, "deploy.run.started", AuditOutcome::Success, AuditSeverity::Info);
}

AuditEvent run_succeeded_event(const voreldeploy_contracts::ids::RunId& run_id, const AuditActor& actor,
                               const Timestamp& now) {
    return run_event(run_id, actor, now, "deploy.run.completed", AuditOutcome::Success, AuditSeverity::Info);
}

AuditEvent run_failed_event(const voreldeploy_contracts::ids::RunId& run_id, const AuditActor& actor,
                            const Timestamp& now) {
    return run_event(run_id, actor, now, "deploy.run.failed", AuditOutcome::Failure, AuditSeverity::Warning);
}

}  // namespace voreldeploy_engine::audit
