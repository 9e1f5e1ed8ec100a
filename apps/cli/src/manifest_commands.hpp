#pragma once
// The release-signing commands: `keygen`, `manifest sign`, `manifest verify`.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

// Prints a fresh throw-away key pair; nothing is written to disk.
CommandResult keygen();

CommandResult manifest_sign(const cli::ManifestSign& args);

CommandResult manifest_verify(const cli::ManifestVerify& args);

}  // namespace razavovivodidi::commands
