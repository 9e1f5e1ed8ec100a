#pragma once
// `run start`, `target verify-artifact`, and the step-driving loop they and
// `rollback execute` share.
#include "artifacts.hpp"
#include "cli.hpp"
#include "command_result.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_adapters/adapter.hpp"
#include "voreldeploy_contracts/run.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace razavovivodidi::commands {

// A local-filesystem target record named `name` (also its endpoint), with
// no credentials ("none"), active, health unknown, fresh tenant, workspace
// and creator, created now. Only the adapter's request needs it; the
// directory itself is the adapter's root.
voreldeploy_contracts::target::DeployTarget local_target(const vorelcore_contracts::ids::Slug& name);

// "Applied", "Verified", "Skipped { reason: \"..\" }", "Failed { reason_redacted: \"..\" }".
std::string outcome_debug(const voreldeploy_contracts::run::StepOutcome& outcome);

// Carries every pending step of a running run out through `adapter`,
// printing each outcome, then the final status and the integrity line. An
// adapter error is a failed step, not a command failure.
CommandResult drive_run(voreldeploy_contracts::run::DeploymentRun& run,
                        const std::vector<voreldeploy_contracts::plan::DeploymentStepKind>& steps,
                        const voreldeploy_contracts::target::DeployTarget& target, const artifacts::Bundle& bundle,
                        voreldeploy_adapters::TargetAdapter& adapter, const vorelcore_crypto::keys::SigningKey& key);

CommandResult run_start(const cli::RunStart& args);

CommandResult target_verify_artifact(const cli::TargetVerifyArtifact& args);

}  // namespace razavovivodidi::commands
