#pragma once
// The trust store: the file of ruleset-signing public keys an operator has
// deliberately chosen to trust, one named signer per key, in the order they
// were added. `trust add` is the only thing that ever adds an entry; nothing
// here derives a key from a ruleset the store is later asked to verify.
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "document_io.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/eval.hpp"

namespace razavovivodidi::trust_store {

// One trusted key. `name` is the operator's label, unique within a store and
// compared byte for byte; `pubkey_hex` is kept exactly as stored (entries
// written by `add` are always 64 lower-case hex digits).
struct TrustedSigner {
    std::string name;
    std::string pubkey_hex;
    vorelcore_contracts::time::Timestamp added_at;

    friend bool operator==(const TrustedSigner&, const TrustedSigner&) = default;
};

struct TrustStore {
    std::vector<TrustedSigner> signers;

    // Appends one signer after checking, in this order: the key (white space
    // trimmed at both ends, then lower-cased, then `parse_public_key`), that
    // no signer has this exact name, that no stored `pubkey_hex` equals the
    // normalised key text. On any failure the store is left as it was.
    std::expected<void, std::string> add(std::string_view name, std::string_view pubkey,
                                         const vorelcore_contracts::time::Timestamp& now);

    friend bool operator==(const TrustStore&, const TrustStore&) = default;
};

// A store path that does not exist (nor its parent directory) is an empty
// store. Anything else that stops the file from being examined or read is
// an error ("reading {path}: {why}"), as is a file that does not parse: a
// store that merely failed to load must never be mistaken for an empty one
// and then overwritten by `trust add`.
std::expected<TrustStore, std::string> load_trust_store(const std::filesystem::path& path);

// Exactly 64 hex digits of either case naming an Ed25519 point. Nothing is
// trimmed or case-folded. Errors: "expected a 64-character hex Ed25519
// public key, got {n} characters" (n in bytes), "public key is not ASCII hex"
// (a pair of bytes that is not UTF-8 by itself), "invalid hex in public key:
// {pair, debug-quoted}", or the key validation error's display text.
std::expected<vorelcore_crypto::keys::VerifyingKey, std::string> parse_public_key(std::string_view text);

// Accepts a signed ruleset only if some trusted key opens the envelope under
// `associated_data` at `now` and the ruleset then passes its own structural
// validation. Every stored key is parsed first, so one corrupt entry refuses
// every ruleset; keys are then tried in store order, and the first one that
// opens the envelope decides (a structurally invalid ruleset is refused at
// once, no further key is tried). Individual key failures are not reported.
std::expected<vorelcore_policy::eval::VerifiedRuleset, std::string> verify_signed_ruleset(
    const vorelcore_policy::eval::SignedPolicyRuleset& envelope, const TrustStore& store,
    const vorelcore_contracts::time::Timestamp& now, const std::vector<std::string>& associated_data);

// The local ruleset source: reads the signed ruleset at `ruleset_path` (so a
// bad ruleset path is reported before a bad store), loads the store and
// verifies under the ruleset envelope context.
std::expected<vorelcore_policy::eval::VerifiedRuleset, std::string> verify_ruleset_file(
    const std::filesystem::path& ruleset_path, const std::filesystem::path& store_path,
    const vorelcore_contracts::time::Timestamp& now);

}  // namespace razavovivodidi::trust_store

template <>
struct vorelcore_json::Fields<razavovivodidi::trust_store::TrustedSigner> {
    using T = razavovivodidi::trust_store::TrustedSigner;
    static constexpr std::string_view name = "TrustedSigner";
    static constexpr auto list =
        std::make_tuple(field("name", &T::name), field("pubkey_hex", &T::pubkey_hex), field("added_at", &T::added_at));
};

template <>
struct vorelcore_json::Fields<razavovivodidi::trust_store::TrustStore> {
    using T = razavovivodidi::trust_store::TrustStore;
    static constexpr std::string_view name = "TrustStore";
    static constexpr auto list = std::make_tuple(field("signers", &T::signers));
};

namespace razavovivodidi {

template <>
struct DocumentLabel<trust_store::TrustStore> {
    static std::string value() { return "razavovivodidi::trust_store::TrustStore"; }
};
template <>
struct DocumentLabel<vorelcore_policy::eval::PolicyRuleset> {
    static std::string value() { return "vorelcore_policy::eval::PolicyRuleset"; }
};

}  // namespace razavovivodidi
