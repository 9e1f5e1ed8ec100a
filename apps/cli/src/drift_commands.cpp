#include "drift_commands.hpp"

#include <iostream>

#include "document_io.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "voreldeploy_engine/drift.hpp"

namespace razavovivodidi::commands {

using voreldeploy_contracts::drift::DriftFact;

CommandResult drift_check(const cli::DriftCheck& args) {
    auto desired = read_json<std::vector<DriftFact>>(args.desired);
    if (!desired) return std::unexpected(std::move(desired.error()));
    auto observed = read_json<std::vector<DriftFact>>(args.observed);
    if (!observed) return std::unexpected(std::move(observed.error()));
    auto environment_id = voreldeploy_contracts::ids::EnvironmentId::parse(args.environment_id);
    if (!environment_id) return std::unexpected(environment_id.error().message());
    auto target_id = voreldeploy_contracts::ids::TargetId::parse(args.target_id);
    if (!target_id) return std::unexpected(target_id.error().message());

    const auto check = voreldeploy_engine::drift::compare(*environment_id, *target_id, std::move(*desired),
                                                          std::move(*observed), vorelcore_contracts::time::Timestamp::now());
    std::cout << "status=" << vorelcore_json::display_name(check.status)
              << " severity=" << vorelcore_json::display_name(check.severity)
              << " drift_count=" << check.drift_summary.size() << '\n';
    return print_json(check);
}

}  // namespace razavovivodidi::commands
