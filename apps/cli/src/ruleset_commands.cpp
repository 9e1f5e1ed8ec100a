#include "ruleset_commands.hpp"

#include <iostream>
#include <string>
#include <utility>

#include "document_io.hpp"
#include "keystore.hpp"
#include "trust_store.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"

namespace razavovivodidi::commands {

using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_policy::eval::PolicyRuleset;
using vorelcore_policy::eval::SignedPolicyRuleset;

namespace {

// Owner read and write only: anyone who can copy the key file can guess
// passphrases against it offline.
constexpr mode_t kKeyFileMode = 0600;

}  // namespace

CommandResult ruleset_keygen(const cli::RulesetKeygen& args) {
    const SigningKey key = SigningKey::generate();
    auto file = keystore::seal_signing_key(key, args.passphrase, Timestamp::now());
    if (!file) return std::unexpected(std::move(file.error()));
    if (auto written = write_json(args.out, *file, kKeyFileMode); !written) return written;
    std::cout << "ruleset-signing key generated; private key sealed (never printed) at " << args.out.string() << '\n'
              << "pubkey: " << file->pubkey_hex << '\n'
              << "trust it wherever this key's rulesets must be accepted:\n"
              << "  razavovivodidi trust add --store <trust-store.json> --name <name> --pubkey " << file->pubkey_hex
              << '\n'
              << std::flush;
    return {};
}

CommandResult ruleset_sign(const cli::RulesetSign& args) {
    // A malformed ruleset is refused before the key file is looked at: a
    // signature over it would only lend it false confidence.
    auto ruleset = read_json<PolicyRuleset>(args.input);
    if (!ruleset) return std::unexpected(std::move(ruleset.error()));
    if (auto valid = ruleset->validate(); !valid) return std::unexpected(valid.error().message());

    auto file = read_json<keystore::SealedSigningKeyFile>(args.signing_key);
    if (!file) return std::unexpected(std::move(file.error()));
    auto key = keystore::unseal_signing_key(*file, args.passphrase, Timestamp::now());
    if (!key) return std::unexpected(std::move(key.error()));

    auto envelope = SignedPolicyRuleset::sign(std::move(*ruleset), KeyId::generate(), Timestamp::now(), *key,
                                              vorelcore_policy::eval::ruleset_envelope_context());
    if (!envelope) return std::unexpected(envelope.error().message());
    if (auto written = write_json(args.out, *envelope); !written) return written;
    // The key file's own (informational) public key, as stored.
    std::cout << "signed policy ruleset written to " << args.out.string() << " (signer pubkey " << file->pubkey_hex
              << ")\n"
              << std::flush;
    return {};
}

}  // namespace razavovivodidi::commands
