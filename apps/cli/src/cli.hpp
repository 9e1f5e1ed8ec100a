#pragma once
// The parsed command line: exactly one command, each leaf carrying its flags
// as typed fields. Paths are kept exactly as the operator typed them; a flag
// that may be absent is an std::optional. `parse_command_line` builds the
// whole command tree (help texts, environment fallbacks, the value set of
// `--environment-type`) and does its own printing for help, version and
// usage errors.
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>

#include "voreldeploy_contracts/environment.hpp"

namespace razavovivodidi::cli {

using Path = std::filesystem::path;
using voreldeploy_contracts::environment::EnvironmentType;

// keygen
struct Keygen {
    bool operator==(const Keygen&) const = default;
};

// demo-fixtures
struct DemoFixtures {
    Path out_dir;
    bool operator==(const DemoFixtures&) const = default;
};

// manifest sign | verify
struct ManifestSign {
    Path input;
    std::string seed;
    Path out;
    bool operator==(const ManifestSign&) const = default;
};
struct ManifestVerify {
    Path input;
    std::string pubkey;
    bool operator==(const ManifestVerify&) const = default;
};
using ManifestCommand = std::variant<ManifestSign, ManifestVerify>;

// plan parse | simulate
struct PlanParse {
    std::filesystem::path input;
    bool operator==(const PlanParse&) const = default;
};
// The flags of `plan simulate`, in their command-line order. The parser does
// not check how the policy flags relate to each other; the command does.
struct SimulateArgs {
    Path input;
    Path manifest;
    std::string pubkey;
    Path policy_input;
    std::optional<Path> policy_ruleset{};
    std::optional<Path> trust_store{};
    std::optional<std::string> policy_service_url{};    // or VORELDEPLOY_POLICY_SERVICE_URL
    std::optional<std::string> policy_service_scope{};  // or VORELDEPLOY_POLICY_SERVICE_SCOPE
    std::optional<std::string> policy_service_token{};  // or VORELDEPLOY_POLICY_SERVICE_TOKEN
    std::optional<Path> approval{};
    std::optional<Path> out{};
    bool operator==(const SimulateArgs&) const = default;
};
struct PlanSimulate {
    SimulateArgs args;
    bool operator==(const PlanSimulate&) const = default;
};
using PlanCommand = std::variant<PlanParse, PlanSimulate>;

// run start
struct RunStart {
    Path plan;
    std::string seed;
    Path target;
    Path root_dir;
    Path artifacts;
    std::optional<Path> out{};
    bool operator==(const RunStart&) const = default;
};
using RunCommand = std::variant<RunStart>;

// rollback plan | approve | execute
struct RollbackPlan {
    Path from;
    Path to;
    std::string environment_id;
    EnvironmentType environment_type = EnvironmentType::Development;
    std::string reason;
    std::string created_by;
    Path out;
    bool operator==(const RollbackPlan&) const = default;
};
struct RollbackApprove {
    Path input;
    Path policy_input;
    std::optional<Path> policy_ruleset{};
    std::optional<Path> trust_store{};
    std::optional<std::string> policy_service_url{};    // or VORELDEPLOY_POLICY_SERVICE_URL
    std::optional<std::string> policy_service_scope{};  // or VORELDEPLOY_POLICY_SERVICE_SCOPE
    std::optional<std::string> policy_service_token{};  // or VORELDEPLOY_POLICY_SERVICE_TOKEN
    std::optional<Path> approval{};
    Path out;
    bool operator==(const RollbackApprove&) const = default;
};
struct RollbackExecute {
    Path input;
    Path to;
    std::string created_by;
    std::string seed;
    Path target;
    Path root_dir;
    Path artifacts;
    std::optional<Path> out_plan{};
    std::optional<Path> out_run{};
    std::optional<Path> out_rollback{};
    bool operator==(const RollbackExecute&) const = default;
};
using RollbackCommand = std::variant<RollbackPlan, RollbackApprove, RollbackExecute>;

// drift check
struct DriftCheck {
    Path desired;
    Path observed;
    std::string environment_id;
    std::string target_id;
    bool operator==(const DriftCheck&) const = default;
};
using DriftCommand = std::variant<DriftCheck>;

// target verify-artifact
struct TargetVerifyArtifact {
    Path root_dir;
    Path artifacts;
    std::string artifact_id;
    bool operator==(const TargetVerifyArtifact&) const = default;
};
using TargetCommand = std::variant<TargetVerifyArtifact>;

// ruleset keygen | sign
struct RulesetKeygen {
    Path out;
    std::string passphrase;  // or VORELDEPLOY_RULESET_PASSPHRASE
    bool operator==(const RulesetKeygen&) const = default;
};
struct RulesetSign {
    Path input;
    Path signing_key;
    std::string passphrase;  // or VORELDEPLOY_RULESET_PASSPHRASE
    Path out;
    bool operator==(const RulesetSign&) const = default;
};
using RulesetCommand = std::variant<RulesetKeygen, RulesetSign>;

// trust add | list
struct TrustAdd {
    Path store;
    std::string name;
    std::string pubkey;
    bool operator==(const TrustAdd&) const = default;
};
struct TrustList {
    Path store;
    bool operator==(const TrustList&) const = default;
};
using TrustCommand = std::variant<TrustAdd, TrustList>;

// doctor
struct Doctor {
    bool operator==(const Doctor&) const = default;
};

// The groups: each holds one of its subcommands.
struct Manifest {
    ManifestCommand command;
    bool operator==(const Manifest&) const = default;
};
struct Plan {
    PlanCommand command;
    bool operator==(const Plan&) const = default;
};
struct Run {
    RunCommand command;
    bool operator==(const Run&) const = default;
};
struct Rollback {
    RollbackCommand command;
    bool operator==(const Rollback&) const = default;
};
struct Drift {
    DriftCommand command;
    bool operator==(const Drift&) const = default;
};
struct Target {
    TargetCommand command;
    bool operator==(const Target&) const = default;
};
struct Ruleset {
    RulesetCommand command;
    bool operator==(const Ruleset&) const = default;
};
struct Trust {
    TrustCommand command;
    bool operator==(const Trust&) const = default;
};

// In the order the commands are listed in the help.
using Command =
    std::variant<Keygen, DemoFixtures, Manifest, Plan, Run, Rollback, Drift, Target, Ruleset, Trust, Doctor>;

struct Cli {
    Command command;
    bool operator==(const Cli&) const = default;
};

// Parses the process arguments (argv[0] is the program's own path). Returns
// the command, or the exit status after the parser has printed everything
// itself: 0 for help (`--help`, `-h`, `help <command...>`) and version
// (`--version`, `-V`) on standard output; 2 for a usage error (message and
// usage line) or a missing command (that level's help) on standard error.
std::variant<Cli, int> parse_command_line(int argc, const char* const* argv);

// The same, printing to the given streams instead of the process's own.
std::variant<Cli, int> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                          std::ostream& err);

}  // namespace razavovivodidi::cli
