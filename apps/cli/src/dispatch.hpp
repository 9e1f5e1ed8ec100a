#pragma once
// Runs the one command of a parsed command line.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi {

// One branch per leaf command. A branch either completes (its report printed,
// its files written) or returns the display text of the first error.
CommandResult dispatch(const cli::Cli& cli);

}  // namespace razavovivodidi
