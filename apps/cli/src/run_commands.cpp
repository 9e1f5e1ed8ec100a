#include "run_commands.hpp"

#include <iostream>

#include "hex.hpp"
#include "vorelcore_error/text.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "voreldeploy_adapters/local_fs.hpp"
#include "voreldeploy_engine/run.hpp"

namespace razavovivodidi::commands {

using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using voreldeploy_adapters::local_fs::LocalFilesystemAdapter;
using voreldeploy_contracts::ids::ArtifactId;
using voreldeploy_contracts::plan::DeploymentPlan;
using voreldeploy_contracts::plan::DeploymentStepKind;
using voreldeploy_contracts::run::RunStatus;
using voreldeploy_contracts::run::StepOutcome;
using voreldeploy_contracts::target::DeployTarget;
namespace run = voreldeploy_contracts::run;

std::string outcome_debug(const StepOutcome& outcome) {
    struct Debug {
        std::string operator()(const run::Applied&) const { return "Applied"; }
        std::string operator()(const run::Verified&) const { return "Verified"; }
        std::string operator()(const run::Skipped& s) const {
            return "Skipped { reason: " + vorelcore_error::debug_quoted(s.reason) + " }";
        }
        std::string operator()(const run::Failed& f) const {
            return "Failed { reason_redacted: " + vorelcore_error::debug_quoted(f.reason_redacted) + " }";
        }
    };
    return std::visit(Debug{}, outcome);
}

DeployTarget local_target(const vorelcore_contracts::ids::Slug& name) {
    DeployTarget target;
    target.id = voreldeploy_contracts::ids::TargetId::generate();
    target.tenant_id = vorelcore_contracts::ids::TenantId::generate();
    target.workspace_id = vorelcore_contracts::ids::WorkspaceId::generate();
    target.name = name;
    target.target_type = voreldeploy_contracts::target::TargetType::LocalFilesystem;
    target.endpoint_ref = name;
    target.credential_secret_ref = *vorelcore_contracts::ids::Slug::parse("none");
    target.status = voreldeploy_contracts::target::TargetStatus::Active;
    target.health_status = voreldeploy_contracts::target::TargetHealth::Unknown;
    target.created_by = vorelcore_contracts::ids::IdentityId::generate();
    target.created_at = Timestamp::now();
    return target;
}

namespace {

std::string no_bundle_entry(const ArtifactId& id) { return "no artifact bundle entry supplied for " + id.to_string(); }

}  // namespace

CommandResult drive_run(run::DeploymentRun& run, const std::vector<DeploymentStepKind>& steps,
                        const DeployTarget& target, const artifacts::Bundle& bundle,
                        voreldeploy_adapters::TargetAdapter& adapter, const SigningKey& key) {
    while (run.status == RunStatus::Running) {
        const std::uint64_t i = run.current_step;
        if (i >= steps.size()) return std::unexpected("run has no pending step but is still Running");
        const DeploymentStepKind& step = steps[i];

        const voreldeploy_contracts::artifact::ReleaseArtifact* artifact = nullptr;
        std::optional<voreldeploy_adapters::ArtifactPayload> payload;
        if (const auto* apply = std::get_if<voreldeploy_contracts::plan::ApplyArtifact>(&step)) {
            const auto entry = bundle.find(apply->artifact_id);
            if (entry == bundle.end()) return std::unexpected(no_bundle_entry(apply->artifact_id));
            artifact = &entry->second.artifact;
            payload = voreldeploy_adapters::PayloadFile{entry->second.payload};
        }
        auto applied = adapter.apply({target, step, artifact, payload ? &*payload : nullptr});
        StepOutcome outcome = applied ? std::move(*applied) : run::Failed{applied.error().message()};
        std::cout << "  step " << i << " [" << voreldeploy_contracts::plan::step_label(step) << "] -> "
                  << outcome_debug(outcome) << '\n'
                  << std::flush;
        if (auto recorded = voreldeploy_engine::run::record_step_outcome(run, steps, std::move(outcome), key,
                                                                         Timestamp::now());
            !recorded) {
            return std::unexpected(recorded.error().message());
        }
    }
    std::cout << "run " << run.id.to_string() << " finished: " << vorelcore_json::display_name(run.status) << '\n'
              << std::flush;
    if (auto intact = voreldeploy_engine::run::verify_run_integrity(run, key.verifying_key()); !intact) {
        return std::unexpected(intact.error().message());
    }
    std::cout << "transition chain integrity: OK (" << run.transitions.size()
              << " record(s), signed and chained via vorelcore-audit)\n"
              << std::flush;
    return {};
}

CommandResult run_start(const cli::RunStart& args) {
    auto plan = read_json<DeploymentPlan>(args.plan);
    if (!plan) return std::unexpected(std::move(plan.error()));
    auto target = read_json<DeployTarget>(args.target);
    if (!target) return std::unexpected(std::move(target.error()));
    auto bundle = artifacts::load_bundle(args.artifacts);
    if (!bundle) return std::unexpected(std::move(bundle.error()));
    auto signing_key = signing_key_from_hex(args.seed);
    if (!signing_key) return std::unexpected(std::move(signing_key.error()));
    const SigningKey& key = *signing_key;

    auto run = voreldeploy_engine::run::start(*plan, key, Timestamp::now());
    if (!run) return std::unexpected(run.error().message());
    std::cout << "run " << run->id.to_string() << " started for plan " << plan->id.to_string() << " ("
              << plan->steps.size() << " steps)\n"
              << std::flush;

    LocalFilesystemAdapter adapter(args.root_dir);
    if (auto driven = drive_run(*run, plan->steps, *target, *bundle, adapter, key); !driven) return driven;
    if (args.out) return write_json(*args.out, *run);
    return {};
}

CommandResult target_verify_artifact(const cli::TargetVerifyArtifact& args) {
    auto id = ArtifactId::parse(args.artifact_id);
    if (!id) return std::unexpected(id.error().message());
    auto bundle = artifacts::load_bundle(args.artifacts);
    if (!bundle) return std::unexpected(std::move(bundle.error()));
    const auto entry = bundle->find(*id);
    if (entry == bundle->end()) return std::unexpected(no_bundle_entry(*id));

    // A target record only to give the adapter its request shape; it is
    // never written anywhere.
    const DeployTarget target = local_target(*vorelcore_contracts::ids::Slug::parse("verify-artifact-target"));

    const LocalFilesystemAdapter adapter(args.root_dir);
    const DeploymentStepKind step = voreldeploy_contracts::plan::ApplyArtifact{*id};
    auto outcome = adapter.verify({target, step, &entry->second.artifact});
    if (!outcome) return std::unexpected(outcome.error().message());
    if (std::holds_alternative<run::Verified>(*outcome)) {
        std::cout << "PASS: artifact " << id->to_string() << " on disk at " << args.root_dir.string()
                  << " matches its declared digest\n";
        return {};
    }
    if (const auto* failed = std::get_if<run::Failed>(&*outcome)) {
        std::cout << "FAIL: artifact " << id->to_string() << " did not verify \u2014 " << failed->reason_redacted
                  << '\n'
                  << std::flush;
        return std::unexpected("artifact " + id->to_string() + " failed digest verification");
    }
    return std::unexpected("unexpected verify outcome: " + outcome_debug(*outcome));
}

}  // namespace razavovivodidi::commands
