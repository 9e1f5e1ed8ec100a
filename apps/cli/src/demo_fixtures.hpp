#pragma once
// `demo-fixtures`: a self-consistent set of example documents in one
// directory, so every other command can be tried on real files.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

// Writes the eighteen fixture files into `--out-dir` (replacing files of the
// same names, creating the directory), then prints the identifiers the
// operator needs. Identifiers and keys are fresh on every run; the two
// ruleset-signing private keys live only in memory and are never written.
// Stops at the first failure with nothing printed; files already written
// stay.
CommandResult demo_fixtures(const cli::DemoFixtures& args);

}  // namespace razavovivodidi::commands
