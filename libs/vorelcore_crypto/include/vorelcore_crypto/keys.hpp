#pragma once
// Ed25519 keys (RFC 8032, pure Ed25519, no context string): the private
// signing key, kept only in wiping memory, and the public verifying key.
#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <utility>

#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_crypto/secret.hpp"
#include "vorelcore_crypto/sign.hpp"
#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"

namespace vorelcore_crypto::keys {

// An Ed25519 public key: the 32-byte compressed point.
class VerifyingKey {
public:
    static constexpr std::size_t kSize = 32;

    // Refuses bytes that do not encode a curve point (a coordinate that is
    // not reduced, or no point with that coordinate) and points of small
    // order, which would accept forged signatures; the failure is
    // CoreError::Validation "invalid ed25519 public key: <what is wrong>".
    static std::expected<VerifyingKey, vorelcore_error::CoreError> from_bytes(
        const std::array<std::uint8_t, kSize>& bytes);

    const std::array<std::uint8_t, kSize>& to_bytes() const { return bytes_; }

    // Plain RFC 8032 verification of `signature` over `message`;
    // CoreError::SignatureInvalid on any mismatch.
    std::expected<void, vorelcore_error::CoreError> verify_bytes(std::span<const std::uint8_t> message,
                                                                 const sign::Signature& signature) const;

    friend bool operator==(const VerifyingKey&, const VerifyingKey&) = default;

private:
    friend class SigningKey;
    explicit VerifyingKey(const std::array<std::uint8_t, kSize>& bytes) : bytes_(bytes) {}

    std::array<std::uint8_t, kSize> bytes_{};
};

// An Ed25519 private key. The secret part (the seed, held together with the
// public key in the form the signing routine takes) lives in wiping memory
// and is zeroed when the key is destroyed or moved from. Not copyable.
class SigningKey {
public:
    static constexpr std::size_t kSeedSize = 32;

    // Any 32 bytes are a valid seed.
    static SigningKey from_bytes(const std::array<std::uint8_t, kSeedSize>& seed);
    // A seed from the operating system's cryptographic random source.
    static SigningKey generate();

    SigningKey(SigningKey&&) noexcept = default;
    SigningKey& operator=(SigningKey&&) noexcept = default;
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;
    ~SigningKey() = default;

    VerifyingKey verifying_key() const { return VerifyingKey(public_); }

    // The seed itself, for the commands that must print or seal it. The view
    // is valid while this key lives; all zero after the key was moved from.
    std::span<const std::uint8_t, kSeedSize> seed() const { return secret_.span().first<kSeedSize>(); }

    sign::Signature sign_bytes(std::span<const std::uint8_t> message) const;

    // Signs the canonical bytes of any document; a canonicalisation error is
    // returned unchanged.
    template <vorelcore_json::HasCodec T>
    std::expected<sign::Signature, vorelcore_error::CoreError> sign_canonical(const T& value) const {
        auto bytes = canonical::canonical_bytes(value);
        if (!bytes) return std::unexpected(std::move(bytes.error()));
        return sign_bytes(*bytes);
    }

private:
    SigningKey() = default;
    static SigningKey from_seed(std::span<const std::uint8_t, kSeedSize> seed);

    SecretBytes<64> secret_;  // seed followed by the public key
    std::array<std::uint8_t, VerifyingKey::kSize> public_{};
};

// The life-cycle state of a published key.
enum class KeyStatus : std::uint8_t { Active, Rotating, Deprecated, Revoked, Compromised, Destroyed };

}  // namespace vorelcore_crypto::keys

template <>
struct vorelcore_json::EnumTable<vorelcore_crypto::keys::KeyStatus> {
    using E = vorelcore_crypto::keys::KeyStatus;
    static constexpr std::string_view type_name = "KeyStatus";
    static constexpr std::array<EnumEntry<E>, 6> entries{{
        {E::Active, "active", "Active"},
        {E::Rotating, "rotating", "Rotating"},
        {E::Deprecated, "deprecated", "Deprecated"},
        {E::Revoked, "revoked", "Revoked"},
        {E::Compromised, "compromised", "Compromised"},
        {E::Destroyed, "destroyed", "Destroyed"},
    }};
};
