#include "plan_commands.hpp"

#include <iostream>

#include "document_io.hpp"

namespace razavovivodidi::commands {

using voreldeploy_contracts::plan::DeploymentPlan;

CommandResult plan_parse(const std::filesystem::path& input) {
    // Reading is the refusal: a step outside the seven typed kinds makes the
    // whole document unreadable, so nothing below ever sees one.
    auto plan = read_json<DeploymentPlan>(input);
    if (!plan) return std::unexpected(std::move(plan.error()));
    std::cout << "OK: plan " << plan->id.to_string() << " parsed \u2014 " << plan->steps.size()
              << " step(s), all typed, none a shell/script/run step\n";
    return print_json(*plan);
}

}  // namespace razavovivodidi::commands
