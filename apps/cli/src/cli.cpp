#include "cli.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

namespace razavovivodidi::cli {
namespace {

constexpr const char* kName = "razavovivodidi";
constexpr const char* kVersion = "0.1.0";
constexpr const char* kAbout =
    "VorelDeploy — declarative, typed deployment orchestration. No shell steps, ever.";
constexpr const char* kCommandsGroup = "Commands";
constexpr const char* kHelpCommand = "help";

constexpr const char* kPassphraseEnv = "VORELDEPLOY_RULESET_PASSPHRASE";
constexpr const char* kServiceUrlEnv = "VORELDEPLOY_POLICY_SERVICE_URL";
constexpr const char* kServiceScopeEnv = "VORELDEPLOY_POLICY_SERVICE_SCOPE";
constexpr const char* kServiceTokenEnv = "VORELDEPLOY_POLICY_SERVICE_TOKEN";

constexpr const char* kPubkeyHelp = "64-character hex Ed25519 public key";

// The command-line spelling of each environment type.
constexpr std::array<std::pair<std::string_view, EnvironmentType>, 7> kEnvironmentTypes{{
    {"development", EnvironmentType::Development},
    {"sandbox", EnvironmentType::Sandbox},
    {"staging", EnvironmentType::Staging},
    {"production", EnvironmentType::Production},
    {"recovery", EnvironmentType::Recovery},
    {"compliance-review", EnvironmentType::ComplianceReview},
    {"test-fixture", EnvironmentType::TestFixture},
}};

std::string joined_environment_types(std::string_view separator) {
    std::string text;
    for (const auto& [name, type] : kEnvironmentTypes) {
        if (!text.empty()) text += separator;
        text += name;
    }
    return text;
}

const std::pair<std::string_view, EnvironmentType>* find_environment_type(std::string_view text) {
    const auto* found = std::find_if(kEnvironmentTypes.begin(), kEnvironmentTypes.end(),
                                     [&](const auto& entry) { return entry.first == text; });
    return found == kEnvironmentTypes.end() ? nullptr : found;
}

// "--out-dir" is shown as "<OUT_DIR>".
std::string value_name(std::string_view flag) {
    std::string name(flag.substr(2));
    for (char& c : name) {
        if (c == '-') {
            c = '_';
        } else if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return "<" + name + ">";
}

// "razavovivodidi plan parse" for the `parse` subcommand of `plan`.
std::string command_path(const CLI::App* app) {
    std::string path = app->get_name();
    for (const CLI::App* at = app->get_parent(); at != nullptr; at = at->get_parent()) {
        path = at->get_name() + " " + path;
    }
    return path;
}

bool has_commands(const CLI::App* app) {
    return !app->get_subcommands([](const CLI::App*) { return true; }).empty();
}

// "Usage: razavovivodidi plan parse --input <INPUT>", with "[OPTIONS]" when
// the command also takes optional flags and "<COMMAND>" for a group.
std::string usage_line(const CLI::App* app) {
    std::string usage = "Usage: " + command_path(app);
    bool optional_flags = false;
    for (const CLI::Option* option : app->get_options()) {
        if (option == app->get_help_ptr() || option == app->get_version_ptr()) continue;
        if (option->get_required()) {
            usage += " " + option->get_name() + " " + value_name(option->get_name());
        } else {
            optional_flags = true;
        }
    }
    if (optional_flags) usage += " [OPTIONS]";
    if (has_commands(app)) usage += " <COMMAND>";
    if (app->get_prefix_command()) usage += " [COMMAND]...";  // the `help` pseudo-command
    return usage + "\n";
}

// CLI11's layout with a clap-like usage line and a blank line between the
// about text and the usage.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string /*name*/) const override { return usage_line(app); }
    std::string make_description(const CLI::App* app) const override {
        const std::string about = app->get_description();
        return about.empty() ? std::string{} : about + "\n\n";
    }
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        if (const auto comma = name.find(','); comma != std::string::npos) name.insert(comma + 1, " ");
        return name;
    }
    // CLI11 pads the name column even when a flag has no help text.
    std::string make_option(const CLI::Option* option, bool positional) const override {
        std::string line = CLI::Formatter::make_option(option, positional);
        std::string trimmed;
        std::size_t start = 0;
        while (start < line.size()) {
            std::size_t end = line.find('\n', start);
            if (end == std::string::npos) end = line.size();
            std::string_view part(line.data() + start, end - start);
            while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
            trimmed.append(part);
            if (end < line.size()) trimmed.push_back('\n');
            start = end + 1;
        }
        return trimmed;
    }
};

// Accepts exactly the command-line spellings of the environment types.
class EnvironmentTypeValidator : public CLI::Validator {
public:
    EnvironmentTypeValidator() {
        description("{" + joined_environment_types(",") + "}");
        func_ = [](std::string& value) -> std::string {
            if (find_environment_type(value) != nullptr) return {};
            return "invalid value '" + value + "' (possible values: " + joined_environment_types(", ") + ")";
        };
    }
};

// The raw values of one leaf's flags as the parser fills them in.
class LeafFlags {
public:
    explicit LeafFlags(CLI::App* app) : app_(app) {}
    LeafFlags(const LeafFlags&) = delete;
    LeafFlags& operator=(const LeafFlags&) = delete;

    void required(const std::string& flag, const std::string& help = {}, const std::string& env = {}) {
        add(flag, help, env)->required();
    }
    void optional(const std::string& flag, const std::string& help = {}, const std::string& env = {}) {
        add(flag, help, env);
    }
    void required_environment_type(const std::string& flag) {
        add(flag, {}, {})->required()->check(EnvironmentTypeValidator());
    }

    std::string text(const std::string& flag) const { return flags_.at(flag).value; }
    Path path(const std::string& flag) const { return Path(text(flag)); }
    std::optional<std::string> optional_text(const std::string& flag) const {
        const Flag& f = flags_.at(flag);
        if (f.option->count() == 0) return std::nullopt;
        return f.value;
    }
    std::optional<Path> optional_path(const std::string& flag) const {
        auto value = optional_text(flag);
        if (!value) return std::nullopt;
        return Path(*value);
    }
    EnvironmentType environment_type(const std::string& flag) const {
        // The validator has already refused every other spelling.
        return find_environment_type(text(flag))->second;
    }

private:
    struct Flag {
        CLI::Option* option = nullptr;
        std::string value;
    };

    CLI::Option* add(const std::string& flag, const std::string& help, const std::string& env) {
        Flag& f = flags_[flag];
        f.option = app_->add_option(flag, f.value, help)->type_name(value_name(flag));
        if (!env.empty()) f.option->envname(env);
        return f.option;
    }

    CLI::App* app_;
    std::map<std::string, Flag> flags_;  // nodes stay put: the parser writes into them
};

struct Leaf {
    Leaf(CLI::App* app, std::function<Command(const LeafFlags&)> build)
        : app(app), flags(app), build(std::move(build)) {}
    CLI::App* app;
    LeafFlags flags;
    std::function<Command(const LeafFlags&)> build;
};

// The whole command tree, and for each leaf how its flags become a Command.
class CommandTree {
public:
    CommandTree();
    CLI::App app{kAbout, kName};
    const Leaf* find_leaf(const CLI::App* sub) const {
        for (const auto& leaf : leaves_) {
            if (leaf->app == sub) return leaf.get();
        }
        return nullptr;
    }
    bool is_help_command(const CLI::App* sub) const {
        return std::find(help_commands_.begin(), help_commands_.end(), sub) != help_commands_.end();
    }

private:
    CLI::App* group(const std::string& name, const std::string& about) {
        CLI::App* sub = app.add_subcommand(name, about);
        sub->require_subcommand(0, 1);
        sub->group(kCommandsGroup);
        return sub;
    }
    LeafFlags& leaf(CLI::App* parent, const std::string& name, const std::string& about,
                    std::function<Command(const LeafFlags&)> build) {
        CLI::App* sub = parent->add_subcommand(name, about);
        sub->group(kCommandsGroup);
        leaves_.push_back(std::make_unique<Leaf>(sub, std::move(build)));
        return leaves_.back()->flags;
    }
    // `help [COMMAND]...` at the end of a level's command list.
    void add_help_command(CLI::App* parent) {
        CLI::App* sub = parent->add_subcommand(
            kHelpCommand, "Print this message or the help of the given subcommand(s)");
        sub->group(kCommandsGroup);
        sub->prefix_command();  // the command names after it are kept, not parsed
        help_commands_.push_back(sub);
    }

    std::vector<std::unique_ptr<Leaf>> leaves_;
    std::vector<const CLI::App*> help_commands_;
};

CommandTree::CommandTree() {
    // Subcommands copy the formatter and the help flag from their parent when
    // they are added, so both are set first.
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "Print help");
    app.set_version_flag("-V,--version", std::string(kName) + " " + kVersion, "Print version");
    app.require_subcommand(0, 1);

    leaf(&app, "keygen",
         "Generate a fresh Ed25519 signing keypair. Test/demo use only — a real deployment key lives in "
         "VorelCore key management, never printed to a terminal",
         [](const LeafFlags&) -> Command { return Keygen{}; });

    leaf(&app, "demo-fixtures",
         "Write a self-consistent set of example manifests, plans, artifacts, a target, and policy "
         "decisions/approvals to a directory, so the rest of the CLI can be exercised against real files",
         [](const LeafFlags& f) -> Command { return DemoFixtures{f.path("--out-dir")}; })
        .required("--out-dir");

    CLI::App* manifest = group("manifest", "Sign / verify release manifests");
    {
        auto& sign = leaf(manifest, "sign", "Wrap a `ReleaseManifest` JSON document in a signed envelope",
                          [](const LeafFlags& f) -> Command {
                              return Manifest{ManifestSign{f.path("--input"), f.text("--seed"), f.path("--out")}};
                          });
        sign.required("--input");
        sign.required("--seed", "64-character hex Ed25519 seed. Generate one with `razavovivodidi keygen`");
        sign.required("--out");

        auto& verify = leaf(manifest, "verify",
                            "Verify a signed manifest envelope: signature, format version, expiry, and that the "
                            "manifest itself is published",
                            [](const LeafFlags& f) -> Command {
                                return Manifest{ManifestVerify{f.path("--input"), f.text("--pubkey")}};
                            });
        verify.required("--input");
        verify.required("--pubkey", kPubkeyHelp);
        add_help_command(manifest);
    }

    CLI::App* plan = group("plan", "Validate and simulate deployment plans");
    {
        leaf(plan, "parse",
             "Parse a plan document and print it back. The refusal demonstration: a step naming a disallowed "
             "operation fails here, before any other command ever sees it",
             [](const LeafFlags& f) -> Command { return Plan{PlanParse{f.path("--input")}}; })
            .required("--input");

        auto& simulate = leaf(
            plan, "simulate",
            "Verify the manifest, validate the plan's steps, and evaluate the promotion gate. Writes the plan back "
            "with `status: approved` only if the gate clears",
            [](const LeafFlags& f) -> Command {
                return Plan{PlanSimulate{SimulateArgs{
                    .input = f.path("--input"),
                    .manifest = f.path("--manifest"),
                    .pubkey = f.text("--pubkey"),
                    .policy_input = f.path("--policy-input"),
                    .policy_ruleset = f.optional_path("--policy-ruleset"),
                    .trust_store = f.optional_path("--trust-store"),
                    .policy_service_url = f.optional_text("--policy-service-url"),
                    .policy_service_scope = f.optional_text("--policy-service-scope"),
                    .policy_service_token = f.optional_text("--policy-service-token"),
                    .approval = f.optional_path("--approval"),
                    .out = f.optional_path("--out"),
                }}};
            });
        simulate.required("--input");
        simulate.required("--manifest");
        simulate.required("--pubkey");
        simulate.required(
            "--policy-input",
            "Caller-supplied request fields (tenant/workspace/resource/actor/facts/context) — deliberately NOT the "
            "whole `PolicyInput`. `action` is filled in from `voreldeploy_contracts::promote_deployment_action()`, "
            "never read from this file");
        simulate.optional(
            "--policy-ruleset",
            "A **signed** `vorelcore_policy::SignedPolicyRuleset` envelope — verified against `--trust-store` "
            "(signature, expiry, then structure) and evaluated for real via `vorelcore_policy::evaluate`. An "
            "unsigned or untrusted-signed file is refused. The air-gapped/offline fallback: required unless "
            "`--policy-service-url` is given");
        simulate.optional("--trust-store",
                          "The trust store of ruleset-signing public keys `--policy-ruleset` must verify against. "
                          "See `razavovivodidi trust add`. Required whenever `--policy-ruleset` is given");
        simulate.optional(
            "--policy-service-url",
            "Fetch trust keys + ruleset from a running VorelPolicy service instead of "
            "`--policy-ruleset`/`--trust-store` — e.g. `http://127.0.0.1:8090`. Takes priority when given. The "
            "bundle is still verified LOCALLY against the fetched trust keys (`vorelpolicy_bundle::verify_bundle`) "
            "before it is trusted for anything — see `policy_service`. Requires `--policy-service-scope` and "
            "`--policy-service-token`",
            kServiceUrlEnv);
        simulate.optional("--policy-service-scope",
                          "The scope this deployment's ruleset is assigned under on the VorelPolicy service "
                          "(`GET /v1/scopes/:scope/ruleset`)",
                          kServiceScopeEnv);
        simulate.optional(
            "--policy-service-token",
            "A capability bearer token minted out of band for this deployment (never minted by this CLI) — a "
            "`service:<name>`-subject token scoped to read VorelPolicy's trust keys and assigned ruleset, nothing "
            "more. Never logged",
            kServiceTokenEnv);
        simulate.optional("--approval");
        simulate.optional("--out");
        add_help_command(plan);
    }

    CLI::App* run = group(
        "run",
        "Start deployment runs against an approved plan, executed for real against a `local_filesystem` target");
    {
        auto& start = leaf(
            run, "start",
            "Start and drive an approved plan to completion against a real `local_filesystem` target. Refuses "
            "anything not `approved`. Every `ApplyArtifact` step is genuinely materialised, digest-verified, and "
            "activated by `LocalFilesystemAdapter` — a step whose payload does not match its declared digest reports "
            "`Failed`, and the run ends `Failed`, not `Succeeded`",
            [](const LeafFlags& f) -> Command {
                return Run{RunStart{
                    .plan = f.path("--plan"),
                    .seed = f.text("--seed"),
                    .target = f.path("--target"),
                    .root_dir = f.path("--root-dir"),
                    .artifacts = f.path("--artifacts"),
                    .out = f.optional_path("--out"),
                }};
            });
        start.required("--plan");
        start.required("--seed", "64-character hex Ed25519 seed used to sign this run's audit chain");
        start.required("--target", "A `DeployTarget` JSON document; must have `target_type: local_filesystem`");
        start.required("--root-dir", "The real directory `LocalFilesystemAdapter` materialises artifacts into");
        start.required("--artifacts",
                       "An artifact bundle (see `razavovivodidi demo-fixtures` output) mapping artifact ids to their "
                       "`ReleaseArtifact` metadata and payload bytes");
        start.optional("--out");
        add_help_command(run);
    }

    CLI::App* rollback = group("rollback", "Plan, approve and execute rollbacks");
    {
        auto& draft = leaf(rollback, "plan",
                           "Build a draft rollback plan between two manifests the release has declared compatible",
                           [](const LeafFlags& f) -> Command {
                               return Rollback{RollbackPlan{
                                   .from = f.path("--from"),
                                   .to = f.path("--to"),
                                   .environment_id = f.text("--environment-id"),
                                   .environment_type = f.environment_type("--environment-type"),
                                   .reason = f.text("--reason"),
                                   .created_by = f.text("--created-by"),
                                   .out = f.path("--out"),
                               }};
                           });
        draft.required("--from");
        draft.required("--to");
        draft.required("--environment-id");
        draft.required_environment_type("--environment-type");
        draft.required("--reason");
        draft.required("--created-by");
        draft.required("--out");

        auto& approve = leaf(rollback, "approve",
                             "Evaluate the same promotion gate a forward deployment uses, against this rollback",
                             [](const LeafFlags& f) -> Command {
                                 return Rollback{RollbackApprove{
                                     .input = f.path("--input"),
                                     .policy_input = f.path("--policy-input"),
                                     .policy_ruleset = f.optional_path("--policy-ruleset"),
                                     .trust_store = f.optional_path("--trust-store"),
                                     .policy_service_url = f.optional_text("--policy-service-url"),
                                     .policy_service_scope = f.optional_text("--policy-service-scope"),
                                     .policy_service_token = f.optional_text("--policy-service-token"),
                                     .approval = f.optional_path("--approval"),
                                     .out = f.path("--out"),
                                 }};
                             });
        approve.required("--input");
        approve.required("--policy-input");
        approve.optional(
            "--policy-ruleset",
            "A **signed** ruleset envelope, verified against `--trust-store` and evaluated against "
            "`voreldeploy_contracts::promote_rollback_action()` — a different fixed action than forward-deployment "
            "promotion, so an operator can author different rules for each. The air-gapped/offline fallback: "
            "required unless `--policy-service-url` is given");
        approve.optional("--trust-store");
        approve.optional("--policy-service-url",
                         "Fetch trust keys + ruleset from a running VorelPolicy service instead of "
                         "`--policy-ruleset`/`--trust-store` — see `PlanCommand::Simulate`'s identical flag for the "
                         "full explanation",
                         kServiceUrlEnv);
        approve.optional("--policy-service-scope", {}, kServiceScopeEnv);
        approve.optional("--policy-service-token", {}, kServiceTokenEnv);
        approve.optional("--approval");
        approve.required("--out");

        auto& execute = leaf(
            rollback, "execute",
            "Execute an approved rollback: builds the derived deployment plan and runs it for real against a "
            "`local_filesystem` target — the same run engine and the same adapter a forward deployment uses "
            "(rollback is not a second path)",
            [](const LeafFlags& f) -> Command {
                return Rollback{RollbackExecute{
                    .input = f.path("--input"),
                    .to = f.path("--to"),
                    .created_by = f.text("--created-by"),
                    .seed = f.text("--seed"),
                    .target = f.path("--target"),
                    .root_dir = f.path("--root-dir"),
                    .artifacts = f.path("--artifacts"),
                    .out_plan = f.optional_path("--out-plan"),
                    .out_run = f.optional_path("--out-run"),
                    .out_rollback = f.optional_path("--out-rollback"),
                }};
            });
        execute.required("--input");
        execute.required("--to");
        execute.required("--created-by");
        execute.required("--seed");
        execute.required("--target");
        execute.required("--root-dir");
        execute.required("--artifacts");
        execute.optional("--out-plan");
        execute.optional("--out-run");
        execute.optional("--out-rollback");
        add_help_command(rollback);
    }

    CLI::App* drift = group("drift", "Compare desired and observed safe metadata for drift");
    {
        auto& check = leaf(drift, "check", "Compare desired vs. observed safe metadata (arrays of `DriftFact`)",
                           [](const LeafFlags& f) -> Command {
                               return Drift{DriftCheck{
                                   .desired = f.path("--desired"),
                                   .observed = f.path("--observed"),
                                   .environment_id = f.text("--environment-id"),
                                   .target_id = f.text("--target-id"),
                               }};
                           });
        check.required("--desired");
        check.required("--observed");
        check.required("--environment-id");
        check.required("--target-id");
        add_help_command(drift);
    }

    CLI::App* target = group("target", "Operate directly on a deployment target through its real adapter");
    {
        auto& verify = leaf(
            target, "verify-artifact",
            "Independently re-verify one artifact's on-disk digest against its declared hash, without deploying "
            "anything. Exists to demonstrate (and let an operator use) `TargetAdapter::verify` on its own — the "
            "check that catches corruption or tampering discovered *after* a legitimate write, not just a bad write "
            "at deploy time",
            [](const LeafFlags& f) -> Command {
                return Target{TargetVerifyArtifact{
                    .root_dir = f.path("--root-dir"),
                    .artifacts = f.path("--artifacts"),
                    .artifact_id = f.text("--artifact-id"),
                }};
            });
        verify.required("--root-dir");
        verify.required("--artifacts");
        verify.required("--artifact-id");
        add_help_command(target);
    }

    CLI::App* ruleset = group(
        "ruleset",
        "Generate and use the Ed25519 key that provenances every `--policy-ruleset` file `plan simulate` / "
        "`rollback approve` will accept. The private key is sealed at rest under a passphrase and never printed — "
        "see `keystore`");
    {
        auto& keygen = leaf(
            ruleset, "keygen",
            "Generate a fresh Ed25519 ruleset-signing keypair. The private key is sealed (Argon2id passphrase KDF -> "
            "HKDF subkey -> `EncryptedEnvelope`, matching VorelCompliance's key-at-rest pattern) and written to "
            "`--out`; it is never printed. Only the public key is printed, so it can be `trust add`ed wherever this "
            "key's rulesets must be accepted",
            [](const LeafFlags& f) -> Command {
                return Ruleset{RulesetKeygen{.out = f.path("--out"), .passphrase = f.text("--passphrase")}};
            });
        keygen.required("--out");
        keygen.required("--passphrase", {}, kPassphraseEnv);

        auto& sign = leaf(
            ruleset, "sign",
            "Structurally validate, then sign, a plain `PolicyRuleset` document into the `SignedPolicyRuleset` "
            "envelope `--policy-ruleset` now requires. Refuses to sign a ruleset that would not itself pass "
            "`PolicyRuleset::validate` — a signature over a malformed document is not useful and only produces false "
            "confidence",
            [](const LeafFlags& f) -> Command {
                return Ruleset{RulesetSign{
                    .input = f.path("--input"),
                    .signing_key = f.path("--signing-key"),
                    .passphrase = f.text("--passphrase"),
                    .out = f.path("--out"),
                }};
            });
        sign.required("--input");
        sign.required("--signing-key");
        sign.required("--passphrase", {}, kPassphraseEnv);
        sign.required("--out");
        add_help_command(ruleset);
    }

    CLI::App* trust = group(
        "trust",
        "Manage the trust store of ruleset-signing public keys (BUILD-DOCTRINE.md rule 7): established deliberately "
        "by an operator who obtained a signer's public key out of band, never derived from a ruleset the store is "
        "later asked to verify");
    {
        auto& add = leaf(trust, "add",
                         "Add a trusted ruleset-signing public key, obtained out of band. Creates the trust store "
                         "file if it does not exist yet — this command IS the deliberate establishment step; nothing "
                         "else in this binary ever adds an entry",
                         [](const LeafFlags& f) -> Command {
                             return Trust{TrustAdd{
                                 .store = f.path("--store"),
                                 .name = f.text("--name"),
                                 .pubkey = f.text("--pubkey"),
                             }};
                         });
        add.required("--store");
        add.required("--name");
        add.required("--pubkey", kPubkeyHelp);

        leaf(trust, "list", "List the currently trusted ruleset-signing keys",
             [](const LeafFlags& f) -> Command { return Trust{TrustList{f.path("--store")}}; })
            .required("--store");
        add_help_command(trust);
    }

    leaf(&app, "doctor",
         "Run a complete offline scenario (happy path + every refusal, including the real local filesystem "
         "adapter) and report pass/fail",
         [](const LeafFlags&) -> Command { return Doctor{}; });

    add_help_command(&app);
}

// The innermost command the parser got to.
const CLI::App* selected_command(const CLI::App& app) {
    const CLI::App* at = &app;
    while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
    return at;
}

int usage_error(const CLI::App* at, const std::string& message, std::ostream& err) {
    err << "error: " << message << "\n\n" << usage_line(at) << "\nFor more information, try '--help'.\n";
    return 2;
}

std::string help_text(const CLI::App* app) {
    const CLI::App* parent = app->get_parent();
    return app->get_formatter()->make_help(app, parent == nullptr ? std::string{} : command_path(parent),
                                           CLI::AppFormatMode::Normal);
}

// `help [COMMAND]...`: the help of the named command, looked up from the
// level the pseudo-command was given at.
int print_named_help(const CLI::App* help_command, std::ostream& out, std::ostream& err) {
    const CLI::App* at = help_command->get_parent();
    for (const std::string& name : help_command->remaining()) {
        const auto found = at->get_subcommands([&](const CLI::App* sub) { return sub->get_name() == name; });
        if (found.empty()) return usage_error(at, "unrecognized subcommand '" + name + "'", err);
        at = found.front();
    }
    out << help_text(at);
    return 0;
}

// CLI11 checks required flags before it looks at arguments it could not
// place, and lists those in reverse; the first unexpected argument is the
// more useful report, and a word where a command belongs is named as such.
std::string usage_message(const CLI::App* at, const CLI::ParseError& error) {
    const auto extras = at->remaining();
    if (extras.empty()) return error.what();
    if (has_commands(at) && at->get_subcommands().empty() && !extras.front().starts_with("-")) {
        return "unrecognized subcommand '" + extras.front() + "'";
    }
    return "unexpected argument '" + extras.front() + "'";
}

// Every flag takes one value, but CLI11 takes the next argument as that value
// even when it is another flag (`--approval --out x`). A detached value that
// starts with '-' means the flag's own value is missing; `--flag=-x` is
// still possible.
std::optional<std::string> flag_without_value(int argc, const char* const* argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (!arg.starts_with("--") || arg.find('=') != std::string_view::npos) continue;
        if (arg == "--help" || arg == "--version") continue;
        const std::string_view next = argv[i + 1];
        if (next.size() > 1 && next.starts_with("-")) {
            return "a value is required for '" + std::string(arg) + "' but none was supplied";
        }
        ++i;  // skip the value
    }
    return std::nullopt;
}

}  // namespace

std::variant<Cli, int> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                          std::ostream& err) {
    CommandTree tree;
    try {
        tree.app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << tree.app.help();
        return 0;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        const CLI::App* at = selected_command(tree.app);
        const auto missing_value = flag_without_value(argc, argv);
        return usage_error(at, missing_value ? *missing_value : usage_message(at, error), err);
    }

    const CLI::App* selected = selected_command(tree.app);
    if (const auto missing_value = flag_without_value(argc, argv)) return usage_error(selected, *missing_value, err);
    if (tree.is_help_command(selected)) return print_named_help(selected, out, err);
    const Leaf* leaf = tree.find_leaf(selected);
    if (leaf == nullptr) {
        // A group (or the program itself) without a command: its help, as an error.
        err << help_text(selected);
        return 2;
    }
    return Cli{leaf->build(leaf->flags)};
}

std::variant<Cli, int> parse_command_line(int argc, const char* const* argv) {
    return parse_command_line(argc, argv, std::cout, std::cerr);
}

}  // namespace razavovivodidi::cli
