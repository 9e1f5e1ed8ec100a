#include "manifest_commands.hpp"

#include <sodium.h>

#include <iostream>

#include "document_io.hpp"
#include "hex.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_engine/manifest.hpp"

namespace razavovivodidi::commands {

using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_crypto::keys::VerifyingKey;
using voreldeploy_contracts::manifest::ReleaseManifest;
using voreldeploy_engine::manifest::SignedManifest;

namespace {

// Clears a string or array that held secret text or bytes.
template <class Buffer>
void wipe(Buffer& buffer) {
    sodium_memzero(buffer.data(), buffer.size() * sizeof(buffer[0]));
}

}  // namespace

CommandResult keygen() {
    const SigningKey key = SigningKey::generate();
    std::string seed_hex = hex_encode(key.seed());
    std::cout << "seed:   " << seed_hex << '\n'
              << "pubkey: " << hex_encode(key.verifying_key().to_bytes()) << '\n'
              << "(test/demo key \u2014 never used to protect a real production release)\n"
              << std::flush;
    wipe(seed_hex);
    return {};
}

CommandResult manifest_sign(const cli::ManifestSign& args) {
    // The manifest is read before the seed is looked at, so a bad path is
    // reported before a bad key. Its status is not checked: a draft signs,
    // and verification refuses it later.
    auto manifest = read_json<ReleaseManifest>(args.input);
    if (!manifest) return std::unexpected(std::move(manifest.error()));
    auto signing_key = signing_key_from_hex(args.seed);
    if (!signing_key) return std::unexpected(std::move(signing_key.error()));
    const SigningKey& key = *signing_key;

    // A fresh random key id on every signing: envelopes from this tool are
    // verified with a key the caller names, never looked up by key id.
    auto envelope = SignedManifest::sign(std::move(*manifest), KeyId::generate(), Timestamp::now(), key,
                                         voreldeploy_engine::manifest::manifest_envelope_context());
    if (!envelope) return std::unexpected(envelope.error().message());
    if (auto written = write_json(args.out, *envelope); !written) return written;
    std::cout << "signed manifest written to " << args.out.string() << '\n' << std::flush;
    return {};
}

CommandResult manifest_verify(const cli::ManifestVerify& args) {
    auto envelope = read_json<SignedManifest>(args.input);
    if (!envelope) return std::unexpected(std::move(envelope.error()));
    auto bytes = parse_hex32(args.pubkey);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    auto key = VerifyingKey::from_bytes(*bytes);
    if (!key) return std::unexpected(key.error().message());
    if (auto verified = voreldeploy_engine::manifest::verify_manifest(*envelope, *key, Timestamp::now()); !verified) {
        return std::unexpected(verified.error().message());
    }
    std::cout << "OK: manifest " << envelope->payload.id.to_string() << " (release "
              << envelope->payload.release_version << ") verified and published\n"
              << std::flush;
    return {};
}

}  // namespace razavovivodidi::commands
