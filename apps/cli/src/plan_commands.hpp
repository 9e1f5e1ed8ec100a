#pragma once
// The `plan` commands.
#include <filesystem>

#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

// `plan parse --input PATH`: reads the plan (refusing any untyped step),
// prints the OK line and the plan back as pretty JSON.
CommandResult plan_parse(const std::filesystem::path& input);

// `plan simulate`: the promotion gate as an operator command. Prints one
// verdict line; writes the plan back with its new status when --out is
// given, whatever the verdict; anything but cleared ends as an error.
CommandResult plan_simulate(const cli::SimulateArgs& args);

}  // namespace razavovivodidi::commands
