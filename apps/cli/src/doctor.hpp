#pragma once
// `doctor`: one complete offline scenario against the real components of the
// system — the happy path of a sandbox deployment, every refusal the system
// promises, and the life cycle of the real local filesystem adapter — with
// every check reported as it runs. Nothing is simulated: each check calls the
// same operation the other commands call.
//
// The scenario is a list of sections, and one runner serves them all: it
// prints the lines, stops at the first check that does not hold, and keeps
// each section's scratch directory until the section has passed.
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "command_result.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/run.hpp"
#include "voreldeploy_engine/error.hpp"

namespace razavovivodidi::doctor {

// What a check found once it ran. A refusal reason is the text the system
// gave when it refused; it is printed after the pass line.
struct Finding {
    bool held = false;
    std::optional<std::string> refusal_reason;
};

// An operation that could not be carried out at all ends the scenario with
// its own error text, and no "[FAIL]" line.
using CheckResult = std::expected<Finding, std::string>;

struct Check {
    std::string text;
    std::function<CheckResult()> run;
};

// A section builds its own fresh fixtures when it starts (writing into
// `scratch` when it has a scratch label; the directory is then created by
// the first file written into it) and returns its checks, which run top to
// bottom and may share those fixtures.
struct Section {
    std::string header;
    std::optional<std::string> scratch_label;
    std::function<std::expected<std::vector<Check>, std::string>(const std::filesystem::path& scratch)> build;
};

// The directory that holds the scratch directories of sections; it is never
// removed.
using ScratchParent = std::function<std::expected<std::filesystem::path, std::string>()>;

// "voreldeploy-doctor" in the operating system's temporary directory (TMPDIR
// and its fallbacks, then /tmp).
std::expected<std::filesystem::path, std::string> system_scratch_parent();

// Prints the banner, runs the sections in order and prints the closing line.
// A section with a scratch label works in "{label}-{fresh uuid}" under the
// scratch parent, removed (errors ignored) once all its checks held and left
// behind otherwise. The first check that does not hold prints its "[FAIL]"
// line and ends the run with "doctor check failed: {text}"; nothing after it
// runs. Every line is flushed as it is written.
CommandResult run_sections(std::ostream& out, std::span<const Section> sections, const ScratchParent& scratch_parent);

// The run engine's step recorder. The scenario takes it as a parameter so
// that a test can show what the doctor reports about an engine that
// misbehaves; the command always passes the real one.
using RecordStepOutcome = std::function<std::expected<void, voreldeploy_engine::error::EngineError>(
    voreldeploy_contracts::run::DeploymentRun&, std::span<const voreldeploy_contracts::plan::DeploymentStepKind>,
    voreldeploy_contracts::run::StepOutcome, const vorelcore_crypto::keys::SigningKey&,
    const vorelcore_contracts::time::Timestamp&)>;

// The seven sections of the scenario, in the order they run.
std::vector<Section> scenario(const RecordStepOutcome& record_step_outcome);

}  // namespace razavovivodidi::doctor

namespace razavovivodidi::commands {

// The `doctor` command: the scenario with the real engine, on standard
// output, scratch directories in the system's temporary directory.
CommandResult doctor();

}  // namespace razavovivodidi::commands
