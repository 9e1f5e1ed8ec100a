#include "dispatch.hpp"

#include <string>
#include <variant>

#include "manifest_commands.hpp"
#include "plan_commands.hpp"
#include "trust_commands.hpp"

namespace razavovivodidi {
namespace {

template <class... Branches>
struct Overloaded : Branches... {
    using Branches::operator()...;
};

// A leaf whose command has not been built yet.
CommandResult not_available(const std::string& command) {
    return std::unexpected(command + " is not available yet");
}

CommandResult dispatch_manifest(const cli::ManifestCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::ManifestSign& leaf) { return commands::manifest_sign(leaf); },
                          [](const cli::ManifestVerify& leaf) { return commands::manifest_verify(leaf); },
                      },
                      command);
}

CommandResult dispatch_plan(const cli::PlanCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::PlanParse& leaf) { return commands::plan_parse(leaf.input); },
                          [](const cli::PlanSimulate& leaf) { return commands::plan_simulate(leaf.args); },
                      },
                      command);
}

CommandResult dispatch_run(const cli::RunCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::RunStart&) { return not_available("run start"); },
                      },
                      command);
}

CommandResult dispatch_rollback(const cli::RollbackCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::RollbackPlan&) { return not_available("rollback plan"); },
                          [](const cli::RollbackApprove&) { return not_available("rollback approve"); },
                          [](const cli::RollbackExecute&) { return not_available("rollback execute"); },
                      },
                      command);
}

CommandResult dispatch_drift(const cli::DriftCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::DriftCheck&) { return not_available("drift check"); },
                      },
                      command);
}

CommandResult dispatch_target(const cli::TargetCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::TargetVerifyArtifact&) { return not_available("target verify-artifact"); },
                      },
                      command);
}

CommandResult dispatch_ruleset(const cli::RulesetCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::RulesetKeygen&) { return not_available("ruleset keygen"); },
                          [](const cli::RulesetSign&) { return not_available("ruleset sign"); },
                      },
                      command);
}

CommandResult dispatch_trust(const cli::TrustCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::TrustAdd& leaf) { return commands::trust_add(leaf); },
                          [](const cli::TrustList& leaf) { return commands::trust_list(leaf); },
                      },
                      command);
}

}  // namespace

CommandResult dispatch(const cli::Cli& cli) {
    return std::visit(Overloaded{
                          [](const cli::Keygen&) { return commands::keygen(); },
                          [](const cli::DemoFixtures&) { return not_available("demo-fixtures"); },
                          [](const cli::Manifest& group) { return dispatch_manifest(group.command); },
                          [](const cli::Plan& group) { return dispatch_plan(group.command); },
                          [](const cli::Run& group) { return dispatch_run(group.command); },
                          [](const cli::Rollback& group) { return dispatch_rollback(group.command); },
                          [](const cli::Drift& group) { return dispatch_drift(group.command); },
                          [](const cli::Target& group) { return dispatch_target(group.command); },
                          [](const cli::Ruleset& group) { return dispatch_ruleset(group.command); },
                          [](const cli::Trust& group) { return dispatch_trust(group.command); },
                          [](const cli::Doctor&) { return not_available("doctor"); },
                      },
                      cli.command);
}

}  // namespace razavovivodidi
