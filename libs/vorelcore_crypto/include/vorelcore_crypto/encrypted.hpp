#pragma once
// The encrypted envelope: a secret byte string kept confidential and bound to
// a context. XChaCha20-Poly1305 under a 32-byte key the caller supplies on
// every call; every header member (all but the nonce and the ciphertext) is
// authenticated as associated data, in canonical form, so changing any of
// them in the stored document makes opening fail.
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_crypto/envelope.hpp"
#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"

namespace vorelcore_crypto::envelope {

enum class AeadAlgorithm : std::uint8_t { XChaCha20Poly1305 };

inline constexpr std::size_t kAeadKeySize = 32;
inline constexpr std::size_t kAeadNonceSize = 24;
inline constexpr std::size_t kAeadTagSize = 16;

using AeadKey = std::span<const std::uint8_t, kAeadKeySize>;

// Decrypted bytes. Owns its buffer, which is wiped when the value is
// destroyed; moving hands the buffer over (the source is left empty), and
// there is no copy.
class Plaintext {
public:
    Plaintext() = default;
    explicit Plaintext(std::size_t size) : bytes_(size) {}
    ~Plaintext();

    Plaintext(Plaintext&& other) noexcept : bytes_(std::move(other.bytes_)) { other.bytes_.clear(); }
    Plaintext& operator=(Plaintext&& other) noexcept;
    Plaintext(const Plaintext&) = delete;
    Plaintext& operator=(const Plaintext&) = delete;

    std::uint8_t* data() noexcept { return bytes_.data(); }
    const std::uint8_t* data() const noexcept { return bytes_.data(); }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }
    std::span<const std::uint8_t> span() const noexcept { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// AEAD_XChaCha20_Poly1305: the ciphertext with the 16-byte tag appended, or
// CoreError::EncryptionFailed.
std::expected<Bytes, vorelcore_error::CoreError> xchacha20poly1305_encrypt(
    AeadKey key, std::span<const std::uint8_t, kAeadNonceSize> nonce, std::span<const std::uint8_t> associated_data,
    std::span<const std::uint8_t> plaintext);

// The inverse; CoreError::DecryptionFailed for a ciphertext shorter than the
// tag and for any tag mismatch. No partial plaintext is ever returned.
std::expected<Plaintext, vorelcore_error::CoreError> xchacha20poly1305_decrypt(
    AeadKey key, std::span<const std::uint8_t, kAeadNonceSize> nonce, std::span<const std::uint8_t> associated_data,
    std::span<const std::uint8_t> ciphertext);

struct EncryptedEnvelope {
    std::uint16_t format_version = kFormatVersion;
    vorelcore_contracts::ids::EnvelopeId envelope_id;
    AeadAlgorithm algorithm = AeadAlgorithm::XChaCha20Poly1305;
    vorelcore_contracts::ids::KeyId key_id;  // the caller's reference to the key; never interpreted here
    vorelcore_contracts::time::Timestamp created_at;
    std::optional<vorelcore_contracts::time::Timestamp> expires_at;
    std::vector<std::string> associated_data;  // the context, compared exactly
    Bytes nonce;                               // 24 bytes in an envelope this code sealed
    Bytes ciphertext;                          // encrypted bytes, then the 16-byte tag

    // A fresh envelope id and a fresh random nonce. The key is copied only
    // into a local buffer that is wiped before returning. Fails when the
    // header cannot be canonicalised (that error unchanged) or with
    // CoreError::EncryptionFailed.
    static std::expected<EncryptedEnvelope, vorelcore_error::CoreError> seal(
        std::span<const std::uint8_t> plaintext, AeadKey key, vorelcore_contracts::ids::KeyId key_id,
        vorelcore_contracts::time::Timestamp created_at,
        std::optional<vorelcore_contracts::time::Timestamp> expires_at, std::vector<std::string> context);

    // Checks, in this order, stopping at the first failure: format version,
    // context, expiry (still valid at exactly expires_at; tested before any
    // cryptography, so an expired envelope says so whatever the key), a
    // 24-byte nonce, then decryption under the canonical header. A wrong
    // key, a changed header member, nonce, ciphertext or tag all give the
    // same CoreError::DecryptionFailed. The key is handled as in seal.
    std::expected<Plaintext, vorelcore_error::CoreError> open(AeadKey key,
                                                              const vorelcore_contracts::time::Timestamp& now,
                                                              const std::vector<std::string>& expected_context) const;

    // The associated data the cipher authenticates: the canonical bytes of
    // the seven header members, `expires_at` null when absent and an empty
    // context as [].
    std::expected<Bytes, vorelcore_error::CoreError> header_bytes() const;

    friend bool operator==(const EncryptedEnvelope&, const EncryptedEnvelope&) = default;
};

}  // namespace vorelcore_crypto::envelope

template <>
struct vorelcore_json::EnumTable<vorelcore_crypto::envelope::AeadAlgorithm> {
    using E = vorelcore_crypto::envelope::AeadAlgorithm;
    static constexpr std::string_view type_name = "AeadAlgorithm";
    static constexpr std::array<EnumEntry<E>, 1> entries{{
        {E::XChaCha20Poly1305, "xchacha20-poly1305", "XChaCha20Poly1305"},
    }};
};

// Member order of the document. `nonce` and `ciphertext` are arrays of
// numbers, one per byte.
template <>
struct vorelcore_json::Fields<vorelcore_crypto::envelope::EncryptedEnvelope> {
    using E = vorelcore_crypto::envelope::EncryptedEnvelope;
    static constexpr std::string_view name = "EncryptedEnvelope";
    static constexpr auto list = std::make_tuple(
        field("format_version", &E::format_version), field("envelope_id", &E::envelope_id),
        field("algorithm", &E::algorithm), field("key_id", &E::key_id), field("created_at", &E::created_at),
        field("expires_at", &E::expires_at), field_omit_empty("associated_data", &E::associated_data),
        field("nonce", &E::nonce), field("ciphertext", &E::ciphertext));
};
