#pragma once
// The `ruleset` commands: making the ruleset-signing key (sealed at rest
// under a passphrase, never printed) and signing policy rulesets with it.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

// Generates a key pair, seals the seed under --passphrase into the key file
// at --out (permission bits 0600, replacing any file there) and prints only
// the public key, with the `trust add` line that trusts it. The trust store
// is not touched.
CommandResult ruleset_keygen(const cli::RulesetKeygen& args);

// Reads and validates the plain ruleset at --input (a ruleset that fails
// validation is refused before the key file is even read), unlocks the key
// file at --signing-key with --passphrase, and writes the ruleset signed
// under the ruleset envelope context to --out.
CommandResult ruleset_sign(const cli::RulesetSign& args);

}  // namespace razavovivodidi::commands
