#pragma once
// `drift check`: compares desired and observed safe metadata of one target.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

CommandResult drift_check(const cli::DriftCheck& args);

}  // namespace razavovivodidi::commands
