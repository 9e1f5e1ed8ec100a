// The command tree: what each command line parses into (in process), and how
// the built program answers help, version, usage errors and commands that are
// not built yet (end to end).
#include "cli.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/run_cli.hpp"

namespace {

using namespace razavovivodidi::cli;
using testing::HasSubstr;
using testing::Not;

constexpr const char* kEnvNames[] = {
    "VORELDEPLOY_RULESET_PASSPHRASE",
    "VORELDEPLOY_POLICY_SERVICE_URL",
    "VORELDEPLOY_POLICY_SERVICE_SCOPE",
    "VORELDEPLOY_POLICY_SERVICE_TOKEN",
};

// Sets the given VORELDEPLOY_ variables and clears the others for the life of
// one case, restoring what was there before.
class ScopedEnv {
public:
    explicit ScopedEnv(const std::map<std::string, std::string>& values) {
        for (const char* name : kEnvNames) {
            if (const char* old = std::getenv(name)) saved_[name] = old;
            ::unsetenv(name);
        }
        for (const auto& [name, value] : values) ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        for (const char* name : kEnvNames) ::unsetenv(name);
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::map<std::string, std::string> saved_;
};

struct Parsed {
    std::variant<Cli, int> result;
    std::string out;
    std::string err;
};

Parsed parse(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"razavovivodidi"};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out;
    std::ostringstream err;
    auto result = parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
    return {std::move(result), out.str(), err.str()};
}

// ---------------------------------------------------------------------------
// In process: command line -> Cli

struct ParseCase {
    std::string name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    Cli expected;
};
void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParsesInto : public testing::TestWithParam<ParseCase> {};

TEST_P(ParsesInto, TheExpectedCommand) {
    const ScopedEnv env(GetParam().env);
    const Parsed parsed = parse(GetParam().args);
    ASSERT_TRUE(std::holds_alternative<Cli>(parsed.result)) << parsed.err;
    EXPECT_TRUE(std::get<Cli>(parsed.result) == GetParam().expected);
    EXPECT_EQ(parsed.out, "");
    EXPECT_EQ(parsed.err, "");
}

// Every flag gets a distinct value, so a value landing in the wrong field shows.
INSTANTIATE_TEST_SUITE_P(
    EveryLeaf, ParsesInto,
    testing::Values(
        ParseCase{"Keygen", {"keygen"}, {}, Cli{Keygen{}}},
        ParseCase{"DemoFixtures", {"demo-fixtures", "--out-dir", "fx"}, {}, Cli{DemoFixtures{"fx"}}},
        ParseCase{"ManifestSign",
                  {"manifest", "sign", "--input", "m.json", "--seed", "s1", "--out=signed.json"},
                  {},
                  Cli{Manifest{ManifestSign{"m.json", "s1", "signed.json"}}}},
        ParseCase{"ManifestVerify",
                  {"manifest", "verify", "--pubkey", "pk", "--input", "signed.json"},
                  {},
                  Cli{Manifest{ManifestVerify{"signed.json", "pk"}}}},
        ParseCase{"PlanParse", {"plan", "parse", "--input", "plan.json"}, {}, Cli{Plan{PlanParse{"plan.json"}}}},
        ParseCase{"PlanSimulateAllFlags",
                  {"plan", "simulate", "--input", "p", "--manifest", "m", "--pubkey", "pk", "--policy-input", "pi",
                   "--policy-ruleset", "pr", "--trust-store", "ts", "--policy-service-url", "url",
                   "--policy-service-scope", "scope", "--policy-service-token", "token", "--approval", "ap",
                   "--out", "o"},
                  {},
                  Cli{Plan{PlanSimulate{SimulateArgs{"p", "m", "pk", "pi", "pr", "ts", "url", "scope", "token",
                                                     "ap", "o"}}}}},
        ParseCase{"PlanSimulateRequiredOnly",
                  {"plan", "simulate", "--input", "p", "--manifest", "m", "--pubkey", "pk", "--policy-input", "pi"},
                  {},
                  Cli{Plan{PlanSimulate{SimulateArgs{.input = "p", .manifest = "m", .pubkey = "pk",
                                                     .policy_input = "pi"}}}}},
        ParseCase{"RunStart",
                  {"run", "start", "--plan", "p", "--seed", "s", "--target", "t", "--root-dir", "r", "--artifacts",
                   "a", "--out", "o"},
                  {},
                  Cli{Run{RunStart{"p", "s", "t", "r", "a", "o"}}}},
        ParseCase{"RollbackPlan",
                  {"rollback", "plan", "--from", "f", "--to", "t", "--environment-id", "eid", "--environment-type",
                   "staging", "--reason", "why", "--created-by", "me", "--out", "o"},
                  {},
                  Cli{Rollback{RollbackPlan{"f", "t", "eid", EnvironmentType::Staging, "why", "me", "o"}}}},
        ParseCase{"RollbackApprove",
                  {"rollback", "approve", "--input", "i", "--policy-input", "pi", "--policy-ruleset", "pr",
                   "--trust-store", "ts", "--policy-service-url", "url", "--policy-service-scope", "scope",
                   "--policy-service-token", "token", "--approval", "ap", "--out", "o"},
                  {},
                  Cli{Rollback{RollbackApprove{"i", "pi", "pr", "ts", "url", "scope", "token", "ap", "o"}}}},
        ParseCase{"RollbackExecute",
                  {"rollback", "execute", "--input", "i", "--to", "t", "--created-by", "me", "--seed", "s",
                   "--target", "tg", "--root-dir", "r", "--artifacts", "a", "--out-plan", "op", "--out-run", "or",
                   "--out-rollback", "ob"},
                  {},
                  Cli{Rollback{RollbackExecute{"i", "t", "me", "s", "tg", "r", "a", "op", "or", "ob"}}}},
        ParseCase{"DriftCheck",
                  {"drift", "check", "--desired", "d", "--observed", "o", "--environment-id", "e", "--target-id",
                   "t"},
                  {},
                  Cli{Drift{DriftCheck{"d", "o", "e", "t"}}}},
        ParseCase{"TargetVerifyArtifact",
                  {"target", "verify-artifact", "--root-dir", "r", "--artifacts", "a", "--artifact-id", "id"},
                  {},
                  Cli{Target{TargetVerifyArtifact{"r", "a", "id"}}}},
        ParseCase{"RulesetKeygen",
                  {"ruleset", "keygen", "--out", "k", "--passphrase", "pw"},
                  {},
                  Cli{Ruleset{RulesetKeygen{"k", "pw"}}}},
        ParseCase{"RulesetSign",
                  {"ruleset", "sign", "--input", "i", "--signing-key", "k", "--passphrase", "pw", "--out", "o"},
                  {},
                  Cli{Ruleset{RulesetSign{"i", "k", "pw", "o"}}}},
        ParseCase{"TrustAdd",
                  {"trust", "add", "--store", "s", "--name", "n", "--pubkey", "pk"},
                  {},
                  Cli{Trust{TrustAdd{"s", "n", "pk"}}}},
        ParseCase{"TrustList", {"trust", "list", "--store", "s"}, {}, Cli{Trust{TrustList{"s"}}}},
        ParseCase{"Doctor", {"doctor"}, {}, Cli{Doctor{}}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

// A variable stands in for an absent flag and satisfies a required one; a
// flag on the command line wins.
INSTANTIATE_TEST_SUITE_P(
    Environment, ParsesInto,
    testing::Values(
        ParseCase{"PassphraseFromVariable",
                  {"ruleset", "keygen", "--out", "k"},
                  {{"VORELDEPLOY_RULESET_PASSPHRASE", "from-env"}},
                  Cli{Ruleset{RulesetKeygen{"k", "from-env"}}}},
        ParseCase{"PassphraseFlagWins",
                  {"ruleset", "sign", "--input", "i", "--signing-key", "k", "--passphrase", "from-flag", "--out",
                   "o"},
                  {{"VORELDEPLOY_RULESET_PASSPHRASE", "from-env"}},
                  Cli{Ruleset{RulesetSign{"i", "k", "from-flag", "o"}}}},
        ParseCase{"PolicyServiceFromVariables",
                  {"plan", "simulate", "--input", "p", "--manifest", "m", "--pubkey", "pk", "--policy-input", "pi"},
                  {{"VORELDEPLOY_POLICY_SERVICE_URL", "env-url"},
                   {"VORELDEPLOY_POLICY_SERVICE_SCOPE", "env-scope"},
                   {"VORELDEPLOY_POLICY_SERVICE_TOKEN", "env-token"}},
                  Cli{Plan{PlanSimulate{SimulateArgs{.input = "p",
                                                     .manifest = "m",
                                                     .pubkey = "pk",
                                                     .policy_input = "pi",
                                                     .policy_service_url = "env-url",
                                                     .policy_service_scope = "env-scope",
                                                     .policy_service_token = "env-token"}}}}},
        ParseCase{"PolicyServiceFlagWins",
                  {"rollback", "approve", "--input", "i", "--policy-input", "pi", "--out", "o",
                   "--policy-service-token", "flag-token"},
                  {{"VORELDEPLOY_POLICY_SERVICE_URL", "env-url"}, {"VORELDEPLOY_POLICY_SERVICE_TOKEN", "env-token"}},
                  Cli{Rollback{RollbackApprove{.input = "i",
                                               .policy_input = "pi",
                                               .policy_service_url = "env-url",
                                               .policy_service_token = "flag-token",
                                               .out = "o"}}}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(ParseCommandLine, KeepsPathsExactlyAsTyped) {
    const ScopedEnv env({});
    const Parsed parsed = parse({"plan", "parse", "--input", "./plans//../plan.json"});
    ASSERT_TRUE(std::holds_alternative<Cli>(parsed.result)) << parsed.err;
    const auto& plan = std::get<Plan>(std::get<Cli>(parsed.result).command);
    EXPECT_EQ(std::get<PlanParse>(plan.command).input.string(), "./plans//../plan.json");
}

TEST(ParseCommandLine, MapsEachEnvironmentTypeSpelling) {
    const ScopedEnv env({});
    const std::vector<std::pair<std::string, EnvironmentType>> spellings{
        {"development", EnvironmentType::Development},
        {"sandbox", EnvironmentType::Sandbox},
        {"staging", EnvironmentType::Staging},
        {"production", EnvironmentType::Production},
        {"recovery", EnvironmentType::Recovery},
        {"compliance-review", EnvironmentType::ComplianceReview},
        {"test-fixture", EnvironmentType::TestFixture},
    };
    for (const auto& [spelling, type] : spellings) {
        const Parsed parsed = parse({"rollback", "plan", "--from", "f", "--to", "t", "--environment-id", "e",
                                     "--environment-type", spelling, "--reason", "r", "--created-by", "c", "--out",
                                     "o"});
        ASSERT_TRUE(std::holds_alternative<Cli>(parsed.result)) << spelling << ": " << parsed.err;
        const auto& rollback = std::get<Rollback>(std::get<Cli>(parsed.result).command);
        EXPECT_EQ(std::get<RollbackPlan>(rollback.command).environment_type, type) << spelling;
    }
}

// Neither a variable's value nor a value typed before --help is echoed by the help.
TEST(ParseCommandLine, HelpNeverShowsSecretValues) {
    const ScopedEnv env({{"VORELDEPLOY_RULESET_PASSPHRASE", "env-passphrase-1234"},
                         {"VORELDEPLOY_POLICY_SERVICE_TOKEN", "env-token-5678"}});
    const std::vector<std::vector<std::string>> lines{
        {"ruleset", "keygen", "--help"},
        {"ruleset", "sign", "--passphrase", "flag-passphrase-9012", "--help"},
        {"plan", "simulate", "--policy-service-token", "flag-token-3456", "--help"},
        {"help", "rollback", "approve"},
    };
    for (const auto& line : lines) {
        const Parsed parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<int>(parsed.result));
        EXPECT_EQ(std::get<int>(parsed.result), 0);
        EXPECT_THAT(parsed.out, HasSubstr("(Env:VORELDEPLOY_"));
        for (const char* secret : {"1234", "5678", "9012", "3456"}) EXPECT_THAT(parsed.out, Not(HasSubstr(secret)));
    }
}

// ---------------------------------------------------------------------------
// End to end: the built program's exit status and streams

enum class Stream { Out, Err };

struct UsageCase {
    std::string name;
    std::vector<std::string> args;
    int status;
    Stream stream;                      // where the output goes; the other stream stays empty
    std::vector<std::string> contains;  // in that stream
    std::map<std::string, std::optional<std::string>> env = {};
};
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

const std::string kAbout = "VorelDeploy — declarative, typed deployment orchestration. No shell steps, ever.";

class Program : public testing::TestWithParam<UsageCase> {};

TEST_P(Program, AnswersWithStatusAndStream) {
    const UsageCase& c = GetParam();
    const auto result = vorel_test::run_cli(c.args, c.env);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    const std::string& used = c.stream == Stream::Out ? result.out : result.err;
    const std::string& other = c.stream == Stream::Out ? result.err : result.out;
    EXPECT_EQ(other, "");
    EXPECT_FALSE(used.empty());
    for (const auto& piece : c.contains) EXPECT_THAT(used, HasSubstr(piece));
}

const std::vector<std::string> kSimulateRequired{"plan",     "simulate", "--input", "p", "--manifest",
                                                 "m",        "--pubkey", "pk",      "--policy-input", "pi"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> kRollbackPlan{"rollback", "plan",         "--from", "a.json",       "--to",
                                             "b.json",   "--environment-id", "prod-eu", "--reason", "bad release",
                                             "--created-by", "ops",  "--out",  "rb.json"};

INSTANTIATE_TEST_SUITE_P(
    HelpAndVersion, Program,
    testing::Values(
        UsageCase{"NoArguments", {}, 2, Stream::Err, {kAbout, "Usage: razavovivodidi <COMMAND>", "doctor"}},
        UsageCase{"Version", {"--version"}, 0, Stream::Out, {"razavovivodidi 0.1.0\n"}},
        UsageCase{"VersionShort", {"-V"}, 0, Stream::Out, {"razavovivodidi 0.1.0\n"}},
        UsageCase{"Help", {"--help"}, 0, Stream::Out, {kAbout, "Usage: razavovivodidi <COMMAND>", "--version"}},
        UsageCase{"HelpShort", {"-h"}, 0, Stream::Out, {kAbout, "Usage: razavovivodidi <COMMAND>"}},
        UsageCase{"GroupHelp",
                  {"plan", "--help"},
                  0,
                  Stream::Out,
                  {"Validate and simulate deployment plans", "Usage: razavovivodidi plan <COMMAND>", "parse",
                   "simulate"}},
        UsageCase{"LeafHelp",
                  {"plan", "parse", "-h"},
                  0,
                  Stream::Out,
                  {"Parse a plan document and print it back. The refusal demonstration: a step naming a disallowed "
                   "operation fails here, before any other command ever sees it",
                   "Usage: razavovivodidi plan parse --input <INPUT>"}},
        UsageCase{"HelpCommand",
                  {"help", "plan", "simulate"},
                  0,
                  Stream::Out,
                  {"Usage: razavovivodidi plan simulate --input <INPUT>", "Verify the manifest, validate the plan's"}},
        UsageCase{"HelpCommandInGroup",
                  {"rollback", "help", "plan"},
                  0,
                  Stream::Out,
                  {"Usage: razavovivodidi rollback plan", "--environment-type <ENVIRONMENT_TYPE>"}},
        UsageCase{"HelpOfUnknownCommand", {"help", "frobnicate"}, 2, Stream::Err, {"frobnicate", "Usage:"}},
        UsageCase{"GroupWithoutCommand",
                  {"rollback"},
                  2,
                  Stream::Err,
                  {"Usage: razavovivodidi rollback <COMMAND>", "execute"}}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    UsageErrors, Program,
    testing::Values(
        UsageCase{"UnknownCommand", {"frobnicate"}, 2, Stream::Err, {"'frobnicate'", "Usage: razavovivodidi"}},
        UsageCase{"UnknownFlag",
                  {"plan", "parse", "--input", "p.json", "--bogus", "x"},
                  2,
                  Stream::Err,
                  {"'--bogus'", "Usage: razavovivodidi plan parse"}},
        UsageCase{"UnknownFlagBeforeMissingOne", {"plan", "parse", "--bogus"}, 2, Stream::Err, {"'--bogus'"}},
        UsageCase{"MissingRequiredFlag",
                  {"plan", "parse"},
                  2,
                  Stream::Err,
                  {"--input", "Usage: razavovivodidi plan parse --input <INPUT>"}},
        UsageCase{"FlagWithoutValueAtEnd", {"plan", "parse", "--input"}, 2, Stream::Err, {"--input", "Usage:"}},
        // The next flag is not taken for the missing value.
        UsageCase{"FlagWithoutValueBeforeFlag",
                  kSimulateRequired + std::vector<std::string>{"--approval", "--out", "o"},
                  2,
                  Stream::Err,
                  {"'--approval'"}},
        UsageCase{"RepeatedFlag", {"plan", "parse", "--input", "a", "--input", "b"}, 2, Stream::Err, {"--input"}},
        UsageCase{"Positional", {"plan", "parse", "--input", "a", "stray"}, 2, Stream::Err, {"'stray'"}},
        UsageCase{"SecondCommand", {"keygen", "doctor"}, 2, Stream::Err, {"'doctor'"}},
        UsageCase{"ShortFlagsDoNotExist", {"plan", "parse", "-i", "a"}, 2, Stream::Err, {"'-i'"}},
        UsageCase{"VersionOnlyAtTopLevel", {"plan", "-V"}, 2, Stream::Err, {"'-V'"}},
        UsageCase{"EnvironmentTypeWithUnderscore",
                  kRollbackPlan + std::vector<std::string>{"--environment-type", "compliance_review"},
                  2,
                  Stream::Err,
                  {"compliance_review",
                   "development, sandbox, staging, production, recovery, compliance-review, test-fixture"}},
        UsageCase{"EnvironmentTypeIsCaseSensitive",
                  kRollbackPlan + std::vector<std::string>{"--environment-type=Production"},
                  2,
                  Stream::Err,
                  {"Production"}},
        UsageCase{"PassphraseMissingWithoutVariable",
                  {"ruleset", "keygen", "--out", "k"},
                  2,
                  Stream::Err,
                  {"--passphrase"}}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

// Command lines the parser accepts reach the dispatcher, whose error is one
// "error: " line on standard error and status 1.
INSTANTIATE_TEST_SUITE_P(
    Dispatched, Program,
    testing::Values(
        UsageCase{"EqualsForm",
                  {"manifest", "sign", "--input=m.json", "--seed=abc", "--out=s.json"},
                  1,
                  Stream::Err,
                  {"error: reading m.json: No such file or directory (os error 2)\n"}},
        UsageCase{"EnvironmentTypeWithHyphen",
                  kRollbackPlan + std::vector<std::string>{"--environment-type", "compliance-review"},
                  1,
                  Stream::Err,
                  {"error: reading a.json: No such file or directory (os error 2)\n"}},
        UsageCase{"PassphraseFromVariable",
                  {"ruleset", "sign", "--input", "missing.json", "--signing-key", "k", "--out", "s"},
                  1,
                  Stream::Err,
                  {"error: reading missing.json: No such file or directory (os error 2)\n"},
                  {{"VORELDEPLOY_RULESET_PASSPHRASE", "pw"}}},
        UsageCase{"PolicyFlagsAreNotCheckedByTheParser",
                  kSimulateRequired + std::vector<std::string>{"--policy-service-url", "http://127.0.0.1:8090"},
                  1,
                  Stream::Err,
                  {"error: reading p: No such file or directory (os error 2)\n"}}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST(ProgramOutput, DispatchErrorIsTheOnlyLineOnStandardError) {
    const auto result = vorel_test::run_cli({"plan", "parse", "--input", "/nonexistent/plan.json"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "error: reading /nonexistent/plan.json: No such file or directory (os error 2)\n");
}

TEST(ProgramOutput, SimulateHelpCarriesTheFlagHelpTexts) {
    const auto result = vorel_test::run_cli({"plan", "simulate", "--help"});
    ASSERT_EQ(result.status, 0);
    for (const std::string text : {
             "Caller-supplied request fields (tenant/workspace/resource/actor/facts/context) — deliberately NOT the "
             "whole `PolicyInput`. `action` is filled in from `voreldeploy_contracts::promote_deployment_action()`, "
             "never read from this file",
             "The trust store of ruleset-signing public keys `--policy-ruleset` must verify against. See "
             "`razavovivodidi trust add`. Required whenever `--policy-ruleset` is given",
             "Fetch trust keys + ruleset from a running VorelPolicy service instead of "
             "`--policy-ruleset`/`--trust-store` — e.g. `http://127.0.0.1:8090`. Takes priority when given. The "
             "bundle is still verified LOCALLY against the fetched trust keys (`vorelpolicy_bundle::verify_bundle`) "
             "before it is trusted for anything — see `policy_service`. Requires `--policy-service-scope` and "
             "`--policy-service-token`",
             "A capability bearer token minted out of band for this deployment (never minted by this CLI) — a "
             "`service:<name>`-subject token scoped to read VorelPolicy's trust keys and assigned ruleset, nothing "
             "more. Never logged",
             "--policy-service-scope <POLICY_SERVICE_SCOPE>",
             "VORELDEPLOY_POLICY_SERVICE_SCOPE",
             "--out <OUT>",
         }) {
        EXPECT_THAT(result.out, HasSubstr(text));
    }
    // --out is optional here (but required for rollback approve).
    EXPECT_THAT(result.out, Not(HasSubstr("--out <OUT> REQUIRED")));
}

TEST(ProgramOutput, TopLevelHelpListsTheCommandsInOrder) {
    const auto result = vorel_test::run_cli({"--help"});
    ASSERT_EQ(result.status, 0);
    std::size_t previous = 0;
    for (const std::string command : {"keygen", "demo-fixtures", "manifest", "plan", "run", "rollback", "drift",
                                      "target", "ruleset", "trust", "doctor"}) {
        const auto at = result.out.find("\n  " + command + " ");
        ASSERT_NE(at, std::string::npos) << command;
        EXPECT_GT(at, previous) << command;
        previous = at;
    }
    EXPECT_THAT(result.out,
                HasSubstr("Generate a fresh Ed25519 signing keypair. Test/demo use only — a real deployment key lives "
                          "in VorelCore key management, never printed to a terminal"));
}

}  // namespace
