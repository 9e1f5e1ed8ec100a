#pragma once
// `rollback plan`, `rollback approve`, `rollback execute`: a rollback goes
// through the same three stages as a forward deployment — drafted between
// two releases the current one declared compatible, cleared by the same
// gate under its own action, and run by the same engine and adapter.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

CommandResult rollback_plan(const cli::RollbackPlan& args);
CommandResult rollback_approve(const cli::RollbackApprove& args);
CommandResult rollback_execute(const cli::RollbackExecute& args);

}  // namespace razavovivodidi::commands
