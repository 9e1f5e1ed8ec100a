#pragma once
// The signed envelope: any document that carries authority travels inside
// one. The signature covers every member but itself, always all eight of
// them (absent ones as null, an empty context as []), in canonical form.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_crypto/sign.hpp"
#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"

namespace vorelcore_crypto::envelope {

// The only envelope format there is.
inline constexpr std::uint16_t kFormatVersion = 1;

template <class T>
struct SignedEnvelope {
    std::uint16_t format_version = kFormatVersion;
    vorelcore_contracts::ids::EnvelopeId envelope_id;
    vorelcore_contracts::ids::KeyId key_id;  // covered by the signature, never read by verify
    vorelcore_contracts::time::Timestamp created_at;
    std::optional<vorelcore_contracts::time::Timestamp> expires_at;
    std::vector<std::string> associated_data;  // the context, compared exactly
    T payload;
    std::optional<hash::ContentHash> previous_hash;
    sign::Signature signature;

    // A fresh envelope id, no expiry, no previous hash; fails only when the
    // signing body cannot be canonicalised.
    static std::expected<SignedEnvelope, vorelcore_error::CoreError> sign(
        T payload, vorelcore_contracts::ids::KeyId key_id, vorelcore_contracts::time::Timestamp created_at,
        const keys::SigningKey& key, std::vector<std::string> context);

    // Checks, in this order, stopping at the first failure: format version,
    // context, signature, expiry (still valid at exactly expires_at). The
    // creation time is not checked.
    std::expected<void, vorelcore_error::CoreError> verify(
        const keys::VerifyingKey& key, const vorelcore_contracts::time::Timestamp& now,
        const std::vector<std::string>& expected_context) const;

    // The canonical bytes the signature covers.
    std::expected<Bytes, vorelcore_error::CoreError> signing_bytes() const;

    friend bool operator==(const SignedEnvelope&, const SignedEnvelope&) = default;
};

}  // namespace vorelcore_crypto::envelope

// Member order of the document; the signing body follows the same list.
template <class T>
struct vorelcore_json::Fields<vorelcore_crypto::envelope::SignedEnvelope<T>> {
    using E = vorelcore_crypto::envelope::SignedEnvelope<T>;
    static constexpr std::string_view name = "SignedEnvelope";
    static constexpr auto list = std::make_tuple(
        field("format_version", &E::format_version), field("envelope_id", &E::envelope_id),
        field("key_id", &E::key_id), field("created_at", &E::created_at), field("expires_at", &E::expires_at),
        field_omit_empty("associated_data", &E::associated_data), field("payload", &E::payload),
        field("previous_hash", &E::previous_hash), field("signature", &E::signature));
};

namespace vorelcore_crypto::envelope {

namespace detail {

template <class M>
struct IsOptional : std::false_type {};
template <class M>
struct IsOptional<std::optional<M>> : std::true_type {};

inline constexpr std::string_view kSignatureMember = "signature";

// Every member of the document but the signature, each written with its
// own codec and never omitted: an absent optional is null, an empty list [].
template <class T>
vorelcore_json::Value signing_body(const SignedEnvelope<T>& envelope) {
    vorelcore_json::Object body;
    std::apply(
        [&](const auto&... entries) {
            auto add = [&](const auto& f) {
                if (f.key == kSignatureMember) return;
                using M = std::remove_cvref_t<decltype(envelope.*(f.member))>;
                const M& member = envelope.*(f.member);
                vorelcore_json::Value value;
                if constexpr (IsOptional<M>::value) {
                    if (member) value = vorelcore_json::Codec<typename M::value_type>::write(*member);
                } else {
                    value = vorelcore_json::Codec<M>::write(member);
                }
                vorelcore_json::push_member(body, std::string(f.key), std::move(value));
            };
            (add(entries), ...);
        },
        vorelcore_json::Fields<SignedEnvelope<T>>::list);
    return vorelcore_json::Value(std::move(body));
}

}  // namespace detail

template <class T>
std::expected<Bytes, vorelcore_error::CoreError> SignedEnvelope<T>::signing_bytes() const {
    return canonical::canonical_value_bytes(detail::signing_body(*this));
}

template <class T>
std::expected<SignedEnvelope<T>, vorelcore_error::CoreError> SignedEnvelope<T>::sign(
    T payload, vorelcore_contracts::ids::KeyId key_id, vorelcore_contracts::time::Timestamp created_at,
    const keys::SigningKey& key, std::vector<std::string> context) {
    SignedEnvelope envelope;
    envelope.format_version = kFormatVersion;
    envelope.envelope_id = vorelcore_contracts::ids::EnvelopeId::generate();
    envelope.key_id = key_id;
    envelope.created_at = created_at;
    envelope.expires_at = std::nullopt;
    envelope.associated_data = std::move(context);
    envelope.payload = std::move(payload);
    envelope.previous_hash = std::nullopt;
    auto bytes = envelope.signing_bytes();
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    envelope.signature = key.sign_bytes(*bytes);
    return envelope;
}

template <class T>
std::expected<void, vorelcore_error::CoreError> SignedEnvelope<T>::verify(
    const keys::VerifyingKey& key, const vorelcore_contracts::time::Timestamp& now,
    const std::vector<std::string>& expected_context) const {
    using vorelcore_error::CoreError;
    if (format_version != kFormatVersion) {
        const std::string supported = std::to_string(kFormatVersion);
        return std::unexpected(CoreError::unsupported_version(std::to_string(format_version), supported, supported));
    }
    if (associated_data != expected_context) {
        return std::unexpected(CoreError::validation("envelope associated data does not match the expected context"));
    }
    auto bytes = signing_bytes();
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    if (auto verified = key.verify_bytes(*bytes, signature); !verified) return verified;
    if (expires_at && now.is_after(*expires_at)) {
        return std::unexpected(CoreError::expired(expires_at->to_string()));
    }
    return {};
}

}  // namespace vorelcore_crypto::envelope
