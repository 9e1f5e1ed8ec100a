#pragma once
// Deciding whether a received policy bundle may be used. The decision is
// local: whoever fetched the bundle (and perhaps the keys with it) supplies
// the keys it trusts, the time and the context it expects, and gets back
// either the bundle with its ruleset in verified form or the reason it was
// refused. Nothing is printed and nothing is changed.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"
#include "vorelpolicy_bundle/bundle.hpp"

namespace vorelpolicy_bundle::verify {

// Whether a key in this life-cycle state may still vouch for a bundle:
// active, rotating and deprecated keys may; revoked, compromised and
// destroyed keys may not.
bool status_verifies(vorelcore_crypto::keys::KeyStatus status);

struct TrustedKey {
    vorelcore_crypto::keys::VerifyingKey key;
    vorelcore_crypto::keys::KeyStatus status;  // as reported by the key's owner

    friend bool operator==(const TrustedKey&, const TrustedKey&) = default;
};

// The keys a caller trusts to sign bundles, by key id (ordered by the id's
// sixteen bytes), each id at most once. Starts empty.
class TrustStore {
public:
    // Adds the entry, or replaces key and status of an id already present.
    void trust_key(vorelcore_contracts::ids::KeyId key_id, vorelcore_crypto::keys::VerifyingKey key,
                   vorelcore_crypto::keys::KeyStatus status);

    // The number of entries, that is of distinct key ids.
    std::size_t size() const { return keys_.size(); }
    bool empty() const { return keys_.empty(); }

    // The entry for `key_id`, or nullptr.
    const TrustedKey* find(const vorelcore_contracts::ids::KeyId& key_id) const;

    const std::map<vorelcore_contracts::ids::KeyId, TrustedKey>& entries() const { return keys_; }

private:
    std::map<vorelcore_contracts::ids::KeyId, TrustedKey> keys_;
};

// A bundle that passed: a copy of the payload, unchanged, and its ruleset in
// the form evaluation accepts. Owned by the caller.
struct VerifiedBundle {
    bundle::PolicyBundleBody body;
    vorelcore_policy::eval::VerifiedRuleset ruleset;
};

// Why a bundle was refused. Each kind has a fixed display text.
class BundleError {
public:
    // The signer is not trusted, or its key's status no longer verifies.
    struct UntrustedKey {
        friend bool operator==(const UntrustedKey&, const UntrustedKey&) = default;
    };
    // The envelope did not verify under the signer's key; `detail` is the
    // envelope error's display text.
    struct Envelope {
        std::string detail;
        friend bool operator==(const Envelope&, const Envelope&) = default;
    };
    // Correctly signed, but the ruleset inside is structurally unusable.
    struct Ruleset {
        vorelcore_policy::eval::PolicyRulesetError error;
        friend bool operator==(const Ruleset&, const Ruleset&) = default;
    };

    using Variant = std::variant<UntrustedKey, Envelope, Ruleset>;
    enum class Kind : std::uint8_t { UntrustedKey, Envelope, Ruleset };

    BundleError(UntrustedKey v) : variant_(v) {}
    BundleError(Envelope v) : variant_(std::move(v)) {}
    BundleError(Ruleset v) : variant_(std::move(v)) {}

    Kind kind() const { return static_cast<Kind>(variant_.index()); }
    const Variant& variant() const { return variant_; }
    template <class V>
    const V* get_if() const {
        return std::get_if<V>(&variant_);
    }

    // "bundle is signed by an untrusted key, or a key whose status no longer
    // verifies", "envelope verification failed: {detail}" or "ruleset failed
    // structural validation: {ruleset error}".
    std::string message() const;

    friend bool operator==(const BundleError&, const BundleError&) = default;

private:
    Variant variant_;
};

std::ostream& operator<<(std::ostream& out, const BundleError& error);

// Checks, in this order, stopping at the first failure:
//  1. the envelope's key id is in `trusted` (the signature of a stranger is
//     never looked at) and
//  2. that key's status still verifies;          otherwise UntrustedKey
//  3. the envelope verifies under that key at `now` against
//     `expected_context` (format version, context, signature, expiry);
//                                                otherwise Envelope
//  4. the payload's ruleset passes structural validation;
//                                                otherwise Ruleset.
// The pack's tests, controls, metadata and the other body members are not
// checked against anything; they travel in the result for the caller.
std::expected<VerifiedBundle, BundleError> verify_bundle(const bundle::SignedPolicyBundle& envelope,
                                                         const TrustStore& trusted,
                                                         const vorelcore_contracts::time::Timestamp& now,
                                                         const std::vector<std::string>& expected_context);

}  // namespace vorelpolicy_bundle::verify
