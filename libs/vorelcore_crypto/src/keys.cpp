#include "vorelcore_crypto/keys.hpp"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace vorelcore_crypto::keys {

namespace {

// libsodium picks its implementations and opens the random source once.
// Without it no key can be made or used safely, so failing is fatal.
void ensure_sodium() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            std::fputs("fatal: libsodium could not be initialised\n", stderr);
            std::abort();
        }
    });
}

using Encoded = std::array<std::uint8_t, VerifyingKey::kSize>;

// The encoding holds y (255 bits, little-endian) and the sign of x in the
// top bit; y must be below p = 2^255 - 19, i.e. not 0x7fff...ffed or above.
bool has_reduced_y(const Encoded& bytes) {
    if ((bytes[31] & 0x7f) != 0x7f) return true;
    for (std::size_t i = 30; i >= 1; --i) {
        if (bytes[i] != 0xff) return true;
    }
    return bytes[0] < 0xed;
}

// The neutral element (x = 0, y = 1).
constexpr Encoded kIdentity{1};

}  // namespace

std::expected<VerifyingKey, vorelcore_error::CoreError> VerifyingKey::from_bytes(const Encoded& bytes) {
    ensure_sodium();
    auto refuse = [](const char* what) {
        return std::unexpected(vorelcore_error::CoreError::validation(std::string("invalid ed25519 public key: ") + what));
    };
    if (!has_reduced_y(bytes)) return refuse("point encoding is not canonical");
    // Point addition decodes both operands and fails when the y coordinate
    // has no x on the curve; doubling three times gives 8P, which is the
    // neutral element exactly for the points of small order.
    Encoded twice{};
    if (crypto_core_ed25519_add(twice.data(), bytes.data(), bytes.data()) != 0) {
        return refuse("bytes do not encode a point on the curve");
    }
    Encoded four{};
    Encoded eight{};
    if (crypto_core_ed25519_add(four.data(), twice.data(), twice.data()) != 0 ||
        crypto_core_ed25519_add(eight.data(), four.data(), four.data()) != 0) {
        return refuse("bytes do not encode a point on the curve");
    }
    if (eight == kIdentity) return refuse("point has small order");
    return VerifyingKey(bytes);
}

std::expected<void, vorelcore_error::CoreError> VerifyingKey::verify_bytes(std::span<const std::uint8_t> message,
                                                                           const sign::Signature& signature) const {
    ensure_sodium();
    static constexpr std::uint8_t kNothing = 0;  // a valid pointer for an empty message
    const std::uint8_t* data = message.empty() ? &kNothing : message.data();
    if (crypto_sign_verify_detached(signature.bytes().data(), data, message.size(), bytes_.data()) != 0) {
        return std::unexpected(vorelcore_error::CoreError::signature_invalid());
    }
    return {};
}

SigningKey SigningKey::from_seed(std::span<const std::uint8_t, kSeedSize> seed) {
    ensure_sodium();
    SigningKey key;
    crypto_sign_seed_keypair(key.public_.data(), key.secret_.data(), seed.data());
    return key;
}

SigningKey SigningKey::from_bytes(const std::array<std::uint8_t, kSeedSize>& seed) {
    return from_seed(std::span<const std::uint8_t, kSeedSize>(seed));
}

SigningKey SigningKey::generate() {
    ensure_sodium();
    SecretBytes<kSeedSize> seed;
    randombytes_buf(seed.data(), seed.size());
    return from_seed(seed.span());
}

sign::Signature SigningKey::sign_bytes(std::span<const std::uint8_t> message) const {
    static constexpr std::uint8_t kNothing = 0;
    const std::uint8_t* data = message.empty() ? &kNothing : message.data();
    std::array<std::uint8_t, sign::Signature::kSize> out{};
    crypto_sign_detached(out.data(), nullptr, data, message.size(), secret_.data());
    return sign::Signature(out);
}

}  // namespace vorelcore_crypto::keys
