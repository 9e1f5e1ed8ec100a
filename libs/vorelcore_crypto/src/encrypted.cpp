#include "vorelcore_crypto/encrypted.hpp"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "vorelcore_crypto/secret.hpp"

namespace vorelcore_crypto::envelope {

namespace {

using vorelcore_error::CoreError;

static_assert(kAeadKeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(kAeadNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kAeadTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);

// libsodium chooses its implementations and opens the random source once;
// without it nothing here can be done safely, so failing is fatal.
void ensure_sodium() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            std::fputs("fatal: libsodium could not be initialised\n", stderr);
            std::abort();
        }
    });
}

// libsodium wants a valid pointer even for zero bytes.
const std::uint8_t* pointer(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t kNothing = 0;
    return bytes.empty() ? &kNothing : bytes.data();
}

}  // namespace

Plaintext::~Plaintext() {
    if (!bytes_.empty()) sodium_memzero(bytes_.data(), bytes_.size());
}

Plaintext& Plaintext::operator=(Plaintext&& other) noexcept {
    if (this != &other) {
        if (!bytes_.empty()) sodium_memzero(bytes_.data(), bytes_.size());
        bytes_ = std::move(other.bytes_);
        other.bytes_.clear();
    }
    return *this;
}

std::expected<Bytes, CoreError> xchacha20poly1305_encrypt(AeadKey key,
                                                          std::span<const std::uint8_t, kAeadNonceSize> nonce,
                                                          std::span<const std::uint8_t> associated_data,
                                                          std::span<const std::uint8_t> plaintext) {
    ensure_sodium();
    if (plaintext.size() > crypto_aead_xchacha20poly1305_ietf_MESSAGEBYTES_MAX) {
        return std::unexpected(CoreError::encryption_failed());
    }
    Bytes ciphertext(plaintext.size() + kAeadTagSize);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(ciphertext.data(), &written, pointer(plaintext), plaintext.size(),
                                                   pointer(associated_data), associated_data.size(), nullptr,
                                                   nonce.data(), key.data()) != 0 ||
        written != ciphertext.size()) {
        return std::unexpected(CoreError::encryption_failed());
    }
    return ciphertext;
}

std::expected<Plaintext, CoreError> xchacha20poly1305_decrypt(AeadKey key,
                                                              std::span<const std::uint8_t, kAeadNonceSize> nonce,
                                                              std::span<const std::uint8_t> associated_data,
                                                              std::span<const std::uint8_t> ciphertext) {
    ensure_sodium();
    if (ciphertext.size() < kAeadTagSize) return std::unexpected(CoreError::decryption_failed());
    Plaintext plaintext(ciphertext.size() - kAeadTagSize);
    // On a tag mismatch libsodium clears the output, and the buffer is wiped
    // when it goes out of scope either way. (An empty plaintext has no
    // buffer; libsodium then only checks the tag.)
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(plaintext.data(), &written, nullptr,
                                                   ciphertext.data(), ciphertext.size(), pointer(associated_data),
                                                   associated_data.size(), nonce.data(), key.data()) != 0 ||
        written != plaintext.size()) {
        return std::unexpected(CoreError::decryption_failed());
    }
    return plaintext;
}

std::expected<Bytes, CoreError> EncryptedEnvelope::header_bytes() const {
    using vorelcore_json::Codec;
    vorelcore_json::Object header;
    vorelcore_json::push_member(header, "format_version", Codec<std::uint16_t>::write(format_version));
    vorelcore_json::push_member(header, "envelope_id", Codec<vorelcore_contracts::ids::EnvelopeId>::write(envelope_id));
    vorelcore_json::push_member(header, "algorithm", Codec<AeadAlgorithm>::write(algorithm));
    vorelcore_json::push_member(header, "key_id", Codec<vorelcore_contracts::ids::KeyId>::write(key_id));
    vorelcore_json::push_member(header, "created_at", Codec<vorelcore_contracts::time::Timestamp>::write(created_at));
    vorelcore_json::push_member(header, "expires_at",
                                expires_at ? Codec<vorelcore_contracts::time::Timestamp>::write(*expires_at)
                                           : vorelcore_json::Value(vorelcore_json::Null{}));
    vorelcore_json::push_member(header, "associated_data", Codec<std::vector<std::string>>::write(associated_data));
    return canonical::canonical_value_bytes(vorelcore_json::Value(std::move(header)));
}

std::expected<EncryptedEnvelope, CoreError> EncryptedEnvelope::seal(
    std::span<const std::uint8_t> plaintext, AeadKey key, vorelcore_contracts::ids::KeyId key_id,
    vorelcore_contracts::time::Timestamp created_at, std::optional<vorelcore_contracts::time::Timestamp> expires_at,
    std::vector<std::string> context) {
    ensure_sodium();
    const SecretBytes<kAeadKeySize> local_key(key);  // wiped on every way out

    EncryptedEnvelope envelope;
    envelope.format_version = kFormatVersion;
    envelope.envelope_id = vorelcore_contracts::ids::EnvelopeId::generate();
    envelope.algorithm = AeadAlgorithm::XChaCha20Poly1305;
    envelope.key_id = key_id;
    envelope.created_at = created_at;
    envelope.expires_at = expires_at;
    envelope.associated_data = std::move(context);
    std::array<std::uint8_t, kAeadNonceSize> nonce{};
    randombytes_buf(nonce.data(), nonce.size());
    envelope.nonce.assign(nonce.begin(), nonce.end());

    auto header = envelope.header_bytes();
    if (!header) return std::unexpected(std::move(header.error()));
    auto ciphertext = xchacha20poly1305_encrypt(local_key.span(), nonce, *header, plaintext);
    if (!ciphertext) return std::unexpected(std::move(ciphertext.error()));
    envelope.ciphertext = std::move(*ciphertext);
    return envelope;
}

std::expected<Plaintext, CoreError> EncryptedEnvelope::open(AeadKey key,
                                                            const vorelcore_contracts::time::Timestamp& now,
                                                            const std::vector<std::string>& expected_context) const {
    const SecretBytes<kAeadKeySize> local_key(key);  // wiped on every way out

    if (format_version != kFormatVersion) {
        const std::string supported = std::to_string(kFormatVersion);
        return std::unexpected(CoreError::unsupported_version(std::to_string(format_version), supported, supported));
    }
    if (associated_data != expected_context) {
        return std::unexpected(CoreError::validation("envelope associated data does not match the expected context"));
    }
    if (expires_at && now.is_after(*expires_at)) {
        return std::unexpected(CoreError::expired(expires_at->to_string()));
    }
    if (nonce.size() != kAeadNonceSize) return std::unexpected(CoreError::decryption_failed());
    auto header = header_bytes();
    if (!header) return std::unexpected(std::move(header.error()));
    const std::span<const std::uint8_t, kAeadNonceSize> checked_nonce(nonce.data(), kAeadNonceSize);
    return xchacha20poly1305_decrypt(local_key.span(), checked_nonce, *header, ciphertext);
}

}  // namespace vorelcore_crypto::envelope
