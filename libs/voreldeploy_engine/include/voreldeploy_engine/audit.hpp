#pragma once
// The audit events of run transitions. A run records exactly these three
// kinds of event; individual steps record none.
#include "vorelcore_audit/event.hpp"
#include "vorelcore_contracts/audit.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_engine::audit {

// The product every run event belongs to: the slug "voreldeploy".
vorelcore_contracts::ids::ProductId product_id();

// The actor of the engine's own transitions: a service whose id is
// "voreldeploy-worker", without a display name.
vorelcore_contracts::audit::AuditActor worker_actor();

// Each event has a fresh event id, targets the run ("deployment_run", the
// run id's text), belongs to the service lifecycle, is kept operationally
// and happened at `now`. Everything optional is left absent; the chain
// fills in the previous-event hash when the event is appended. The reason
// of a failure is not part of the failed event: the run keeps it.
//
//   started:   "deploy.run.started",   success, info
//   succeeded: "deploy.run.completed", success, info
//   failed:    "deploy.run.failed",    failure, warning
vorelcore_audit::event::AuditEvent run_started_event(const voreldeploy_contracts::ids::RunId& run_id,
                                                     const vorelcore_contracts::audit::AuditActor& actor,
                                                     const vorelcore_contracts::time::Timestamp& now);
vorelcore_audit::event::AuditEvent run_succeeded_event(const voreldeploy_contracts::ids::RunId& run_id,
                                                       const vorelcore_contracts::audit::AuditActor& actor,
                                                       const vorelcore_contracts::time::Timestamp& now);
vorelcore_audit::event::AuditEvent run_failed_event(const voreldeploy_contracts::ids::RunId& run_id,
                                                    const vorelcore_contracts::audit::AuditActor& actor,
                                                    const vorelcore_contracts::time::Timestamp& now);

}  // namespace voreldeploy_engine::audit
