#pragma once
// The `plan` commands.
#include <filesystem>

#include "command_result.hpp"

namespace razavovivodidi::commands {

// `plan parse --input PATH`: reads the plan (refusing any untyped step),
// prints the OK line and the plan back as pretty JSON.
CommandResult plan_parse(const std::filesystem::path& input);

}  // namespace razavovivodidi::commands
