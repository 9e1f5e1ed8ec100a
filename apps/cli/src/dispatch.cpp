#include "dispatch.hpp"

#include <string>
#include <variant>

#include "demo_fixtures.hpp"
#include "doctor.hpp"
#include "drift_commands.hpp"
#include "manifest_commands.hpp"
#include "plan_commands.hpp"
#include "rollback_commands.hpp"
#include "run_commands.hpp"
#include "ruleset_commands.hpp"
#include "trust_commands.hpp"

namespace razavovivodidi {
namespace {

template <class... Branches>
struct Overloaded : Branches... {
    using Branches::operator()...;
};
// Spelled out: clang before 17 does not deduce an aggregate's arguments.
template <class... Branches>
Overloaded(Branches...) -> Overloaded<Branches...>;

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
                          [](const cli::RunStart& leaf) { return commands::run_start(leaf); },
                      },
                      command);
}

CommandResult dispatch_rollback(const cli::RollbackCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::RollbackPlan& leaf) { return commands::rollback_plan(leaf); },
                          [](const cli::RollbackApprove& leaf) { return commands::rollback_approve(leaf); },
                          [](const cli::RollbackExecute& leaf) { return commands::rollback_execute(leaf); },
                      },
                      command);
}

CommandResult dispatch_drift(const cli::DriftCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::DriftCheck& leaf) { return commands::drift_check(leaf); },
                      },
                      command);
}

CommandResult dispatch_target(const cli::TargetCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::TargetVerifyArtifact& leaf) { return commands::target_verify_artifact(leaf); },
                      },
                      command);
}

CommandResult dispatch_ruleset(const cli::RulesetCommand& command) {
    return std::visit(Overloaded{
                          [](const cli::RulesetKeygen& leaf) { return commands::ruleset_keygen(leaf); },
                          [](const cli::RulesetSign& leaf) { return commands::ruleset_sign(leaf); },
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
                          [](const cli::DemoFixtures& leaf) { return commands::demo_fixtures(leaf); },
                          [](const cli::Manifest& group) { return dispatch_manifest(group.command); },
                          [](const cli::Plan& group) { return dispatch_plan(group.command); },
                          [](const cli::Run& group) { return dispatch_run(group.command); },
                          [](const cli::Rollback& group) { return dispatch_rollback(group.command); },
                          [](const cli::Drift& group) { return dispatch_drift(group.command); },
                          [](const cli::Target& group) { return dispatch_target(group.command); },
                          [](const cli::Ruleset& group) { return dispatch_ruleset(group.command); },
                          [](const cli::Trust& group) { return dispatch_trust(group.command); },
                          [](const cli::Doctor&) { return commands::doctor(); },
                      },
                      cli.command);
}

}  // namespace razavovivodidi
