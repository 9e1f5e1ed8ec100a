#include "trust_store.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>

#include "vorelcore_error/text.hpp"

namespace razavovivodidi::trust_store {

using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::VerifyingKey;
using vorelcore_policy::eval::PolicyRuleset;
using vorelcore_policy::eval::SignedPolicyRuleset;
using vorelcore_policy::eval::VerifiedRuleset;

namespace {

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}


}  // namespace

std::expected<VerifyingKey, std::string> parse_public_key(std::string_view text) {
    std::array<std::uint8_t, VerifyingKey::kSize> bytes{};
    if (text.size() != 2 * bytes.size()) {
        return std::unexpected("expected a 64-character hex Ed25519 public key, got " + std::to_string(text.size()) +
                               " characters");
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::string_view pair = text.substr(2 * i, 2);
        if (vorelcore_error::check_utf8(pair)) return std::unexpected(std::string("public key is not ASCII hex"));
        const auto byte = vorelcore_error::hex_pair(pair[0], pair[1]);
        if (!byte) return std::unexpected("invalid hex in public key: " + vorelcore_error::debug_quoted(pair));
        bytes[i] = *byte;
    }
    auto key = VerifyingKey::from_bytes(bytes);
    if (!key) return std::unexpected(key.error().message());
    return *key;
}

std::expected<void, std::string> TrustStore::add(std::string_view name, std::string_view pubkey,
                                                 const Timestamp& now) {
    std::string normalised = ascii_lower(vorelcore_error::trim_unicode_whitespace(pubkey));
    if (auto key = parse_public_key(normalised); !key) return std::unexpected(std::move(key.error()));
    for (const TrustedSigner& signer : signers) {
        if (signer.name == name) {
            return std::unexpected("a trusted signer named " + vorelcore_error::debug_quoted(name) +
                                   " already exists in this trust store");
        }
    }
    for (const TrustedSigner& signer : signers) {
        if (signer.pubkey_hex == normalised) {
            return std::unexpected(std::string("this public key is already trusted, under a different name"));
        }
    }
    signers.push_back(TrustedSigner{std::string(name), std::move(normalised), now});
    return {};
}

std::expected<TrustStore, std::string> load_trust_store(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int code = errno;
        // Only a store that is really not there is empty; a store that could
        // not be looked at is not known to be empty.
        if (code == ENOENT || code == ENOTDIR) return TrustStore{};
        return std::unexpected("reading " + path.string() + ": " + os_error_text(code));
    }
    return read_json<TrustStore>(path);
}

std::expected<VerifiedRuleset, std::string> verify_signed_ruleset(const SignedPolicyRuleset& envelope,
                                                                  const TrustStore& store, const Timestamp& now,
                                                                  const std::vector<std::string>& associated_data) {
    // Stored keys are taken exactly as written: a hand-edited entry that no
    // longer parses blocks every ruleset until the operator repairs it.
    std::vector<VerifyingKey> keys;
    keys.reserve(store.signers.size());
    for (const TrustedSigner& signer : store.signers) {
        auto key = parse_public_key(signer.pubkey_hex);
        if (!key) return std::unexpected(std::move(key.error()));
        keys.push_back(*key);
    }
    if (keys.empty()) {
        return std::unexpected(std::string(
            "trust store has no trusted ruleset-signing keys \u2014 refusing every ruleset until one is established "
            "with `razavovivodidi trust add`"));
    }
    for (const VerifyingKey& key : keys) {
        if (!envelope.verify(key, now, associated_data)) continue;
        PolicyRuleset ruleset = envelope.payload;
        auto verified = std::move(ruleset).verify();
        if (!verified) {
            return std::unexpected("ruleset is signed by a trusted key but fails its own structural validation: " +
                                   verified.error().message());
        }
        return std::move(*verified);
    }
    return std::unexpected(std::string(
        "ruleset failed signature verification against every key in the trust store \u2014 refusing to evaluate an "
        "unverifiable ruleset (unsigned, tampered, expired, or signed by a key nobody deliberately trusted)"));
}

std::expected<VerifiedRuleset, std::string> verify_ruleset_file(const std::filesystem::path& ruleset_path,
                                                                const std::filesystem::path& store_path,
                                                                const Timestamp& now) {
    auto envelope = read_json<SignedPolicyRuleset>(ruleset_path);
    if (!envelope) return std::unexpected(std::move(envelope.error()));
    auto store = load_trust_store(store_path);
    if (!store) return std::unexpected(std::move(store.error()));
    return verify_signed_ruleset(*envelope, *store, now, vorelcore_policy::eval::ruleset_envelope_context());
}

}  // namespace razavovivodidi::trust_store
