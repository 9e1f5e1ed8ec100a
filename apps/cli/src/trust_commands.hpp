#pragma once
// The `trust` commands: establishing and listing the trust store of
// ruleset-signing public keys.
#include "cli.hpp"
#include "command_result.hpp"

namespace razavovivodidi::commands {

// Loads the store (a missing file is an empty store), adds the signer with
// the current time, writes the whole store back and reports the new count.
CommandResult trust_add(const cli::TrustAdd& args);

// One line per signer in store order, or the no-signers line. Entries are
// listed as stored, not validated.
CommandResult trust_list(const cli::TrustList& args);

}  // namespace razavovivodidi::commands
