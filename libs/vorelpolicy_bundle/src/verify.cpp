#include "vorelpolicy_bundle/verify.hpp"

#include <utility>

namespace vorelpolicy_bundle::verify {

using vorelcore_contracts::ids::KeyId;
using vorelcore_crypto::keys::KeyStatus;
using vorelcore_crypto::keys::VerifyingKey;

bool status_verifies(KeyStatus status) {
    switch (status) {
    case KeyStatus::Active:
    case KeyStatus::Rotating:
    case KeyStatus::Deprecated:
        return true;
    case KeyStatus::Revoked:
    case KeyStatus::Compromised:
    case KeyStatus::Destroyed:
        return false;
    }
    return false;
}

void TrustStore::trust_key(KeyId key_id, VerifyingKey key, KeyStatus status) {
    keys_.insert_or_assign(key_id, TrustedKey{key, status});
}

const TrustedKey* TrustStore::find(const KeyId& key_id) const {
    const auto it = keys_.find(key_id);
    return it == keys_.end() ? nullptr : &it->second;
}

std::string BundleError::message() const {
    if (const auto* envelope = get_if<Envelope>()) return "envelope verification failed: " + envelope->detail;
    if (const auto* ruleset = get_if<Ruleset>()) {
        return "ruleset failed structural validation: " + ruleset->error.message();
    }
    return "bundle is signed by an untrusted key, or a key whose status no longer verifies";
}

std::ostream& operator<<(std::ostream& out, const BundleError& error) { return out << error.message(); }

std::expected<VerifiedBundle, BundleError> verify_bundle(const bundle::SignedPolicyBundle& envelope,
                                                         const TrustStore& trusted,
                                                         const vorelcore_contracts::time::Timestamp& now,
                                                         const std::vector<std::string>& expected_context) {
    const TrustedKey* signer = trusted.find(envelope.key_id);
    if (signer == nullptr || !status_verifies(signer->status)) {
        return std::unexpected(BundleError::UntrustedKey{});
    }
    if (auto opened = envelope.verify(signer->key, now, expected_context); !opened) {
        return std::unexpected(BundleError::Envelope{opened.error().message()});
    }
    vorelcore_policy::eval::PolicyRuleset ruleset = envelope.payload.ruleset;
    auto verified = std::move(ruleset).verify();
    if (!verified) return std::unexpected(BundleError::Ruleset{std::move(verified.error())});
    return VerifiedBundle{envelope.payload, std::move(*verified)};
}

}  // namespace vorelpolicy_bundle::verify
