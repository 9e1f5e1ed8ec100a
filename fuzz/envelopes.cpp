// Opening envelopes of any content, chosen by the first input byte: a signed
// manifest, a signed ruleset (checked against a trust store and, when it
// verifies, evaluated), a signed policy bundle, and an encrypted envelope.
// Beyond not crashing: an envelope signed (or sealed) afresh over whatever
// was read must verify (or open), also after being written out and read
// back, so the bytes a signature covers never change on the way through a
// file.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "hex.hpp"
#include "keystore.hpp"
#include "trust_store.hpp"
#include "vorelcore_crypto/encrypted.hpp"
#include "vorelcore_crypto/envelope.hpp"
#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/eval.hpp"
#include "vorelcore_policy/input.hpp"
#include "voreldeploy_engine/manifest.hpp"
#include "vorelpolicy_bundle/bundle.hpp"
#include "vorelpolicy_bundle/verify.hpp"

namespace {

using vorelcore_crypto::envelope::EncryptedEnvelope;
using vorelcore_crypto::envelope::SignedEnvelope;

const vorelcore_crypto::keys::VerifyingKey& verifying_key() {
    static const auto key = vorel_fuzz::signing_key().verifying_key();
    return key;
}

// Re-signs the envelope with the fixed key and checks that it verifies at
// its own expiry (or at the fixed instant), before and after a trip through
// its pretty text.
template <class T>
void check_resigned(SignedEnvelope<T> envelope) {
    if (envelope.format_version != vorelcore_crypto::envelope::kFormatVersion) return;
    auto bytes = envelope.signing_bytes();
    if (!bytes) return;  // a floating-point number in the payload: nothing to sign
    envelope.signature = vorel_fuzz::signing_key().sign_bytes(*bytes);
    const auto when = envelope.expires_at.value_or(vorel_fuzz::now());
    VOREL_FUZZ_CHECK(envelope.verify(verifying_key(), when, envelope.associated_data).has_value());
    auto reread = vorelcore_json::from_text<SignedEnvelope<T>>(vorelcore_json::to_pretty(envelope));
    VOREL_FUZZ_CHECK(reread.has_value());
    VOREL_FUZZ_CHECK(reread->verify(verifying_key(), when, envelope.associated_data).has_value());
}

void signed_manifest(std::string_view text) {
    auto envelope = vorelcore_json::from_text<voreldeploy_engine::manifest::SignedManifest>(text);
    if (!envelope) return;
    (void)voreldeploy_engine::manifest::verify_manifest(*envelope, verifying_key(), vorel_fuzz::now());
    check_resigned(std::move(*envelope));
}

const razavovivodidi::trust_store::TrustStore& trust_store() {
    static const auto store = [] {
        razavovivodidi::trust_store::TrustStore s;
        const auto& bytes = verifying_key().to_bytes();
        (void)s.add("fuzz", razavovivodidi::hex_encode(bytes), vorel_fuzz::now());
        return s;
    }();
    return store;
}

void evaluate(const vorelcore_policy::eval::VerifiedRuleset& ruleset) {
    for (const auto& action : {vorelcore_policy::action::PolicyActionId::deployment_promote(),
                               vorelcore_policy::action::PolicyActionId::rollback_promote()}) {
        vorelcore_policy::input::PolicyInput input;
        input.product_id = action.product();
        input.resource_type = "deployment_plan";
        input.resource_id = "fuzz";
        input.actor_type = vorelcore_policy::input::PolicyActorType::User;
        input.actor_id = "fuzz";
        input.action = action.canonical();
        input.facts = {{"environment", "production"}, {"approvals", "2"}, {"risk", "high"}};
        input.context = {{"region", "eu-1"}};
        input.requested_at = vorel_fuzz::now();
        input.schema_version = 1;
        (void)vorelcore_policy::eval::evaluate(ruleset, input, action, vorel_fuzz::now());
    }
}

void signed_ruleset(std::string_view text) {
    auto envelope = vorelcore_json::from_text<vorelcore_policy::eval::SignedPolicyRuleset>(text);
    if (!envelope) return;
    auto verified = razavovivodidi::trust_store::verify_signed_ruleset(
        *envelope, trust_store(), vorel_fuzz::now(), vorelcore_policy::eval::ruleset_envelope_context());
    if (verified) evaluate(*verified);
    check_resigned(std::move(*envelope));
}

// The bundle's signer is trusted under whatever key id it names, and its
// own context is the one expected, so verification runs to the end.
void signed_bundle(std::string_view text) {
    auto envelope = vorelcore_json::from_text<vorelpolicy_bundle::bundle::SignedPolicyBundle>(text);
    if (!envelope) return;
    vorelpolicy_bundle::verify::TrustStore trusted;
    trusted.trust_key(envelope->key_id, verifying_key(), vorelcore_crypto::keys::KeyStatus::Active);
    auto verified =
        vorelpolicy_bundle::verify::verify_bundle(*envelope, trusted, vorel_fuzz::now(), envelope->associated_data);
    if (verified) evaluate(verified->ruleset);
    check_resigned(std::move(*envelope));
}

// Opens under the fixed key, then seals the ciphertext's bytes afresh with
// the same header and checks they come back out of the written document.
void encrypted(std::string_view text) {
    auto envelope = vorelcore_json::from_text<EncryptedEnvelope>(text);
    if (!envelope) return;
    const auto key = std::span<const std::uint8_t, 32>(vorel_fuzz::aead_key());
    (void)envelope->open(key, vorel_fuzz::now(), razavovivodidi::keystore::key_file_context());
    (void)envelope->open(key, vorel_fuzz::now(), envelope->associated_data);

    if (envelope->format_version != vorelcore_crypto::envelope::kFormatVersion) return;
    auto sealed = EncryptedEnvelope::seal(envelope->ciphertext, key, envelope->key_id, envelope->created_at,
                                          envelope->expires_at, envelope->associated_data);
    VOREL_FUZZ_CHECK(sealed.has_value());
    auto reread = vorelcore_json::from_text<EncryptedEnvelope>(vorelcore_json::to_pretty(*sealed));
    VOREL_FUZZ_CHECK(reread.has_value());
    const auto when = envelope->expires_at.value_or(vorel_fuzz::now());
    auto opened = reread->open(key, when, envelope->associated_data);
    VOREL_FUZZ_CHECK(opened.has_value());
    VOREL_FUZZ_CHECK(std::ranges::equal(opened->span(), envelope->ciphertext));
}

using vorel_fuzz::Reader;
constexpr std::array<Reader, 4> kReaders{&signed_manifest, &signed_ruleset, &signed_bundle, &encrypted};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorel_fuzz::run_selected(data, size, kReaders);
}
