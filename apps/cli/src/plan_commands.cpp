#include "plan_commands.hpp"

namespace razavovivodidi::commands {

CommandResult plan_parse(const std::filesystem::path& input) {
    return std::unexpected("plan parse is not available yet: " + input.string());
}

}  // namespace razavovivodidi::commands
