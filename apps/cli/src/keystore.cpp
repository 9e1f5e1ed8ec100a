#include "keystore.hpp"

#include <argon2.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <sodium.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "hex.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_error/text.hpp"

namespace razavovivodidi::keystore {

using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::envelope::EncryptedEnvelope;
using vorelcore_crypto::keys::SigningKey;

namespace {

// The seed on its way from the opened envelope into the signing key: the
// form SigningKey::from_bytes takes, wiped on every way out.
struct SeedArray {
    std::array<std::uint8_t, SigningKey::kSeedSize> bytes{};
    SeedArray() = default;
    SeedArray(const SeedArray&) = delete;
    SeedArray& operator=(const SeedArray&) = delete;
    ~SeedArray() { sodium_memzero(bytes.data(), bytes.size()); }
};

// OpenSSL's parameter constructors take non-const pointers; nothing is
// written through them.
void* octets(std::span<const std::uint8_t> bytes) { return const_cast<std::uint8_t*>(bytes.data()); }

}  // namespace

std::vector<std::string> key_file_context() { return {"product:voreldeploy", "purpose:ruleset-signing-key"}; }

bool hkdf_sha256(std::span<const std::uint8_t> ikm, std::span<const std::uint8_t> salt,
                 std::span<const std::uint8_t> info, std::span<std::uint8_t> out) {
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_HKDF, nullptr);
    if (kdf == nullptr) {
        ERR_clear_error();
        return false;
    }
    EVP_KDF_CTX* context = EVP_KDF_CTX_new(kdf);  // holds its own reference to the algorithm
    EVP_KDF_free(kdf);
    if (context == nullptr) {
        ERR_clear_error();
        return false;
    }
    char digest[] = "SHA256";
    OSSL_PARAM params[5];
    std::size_t count = 0;
    params[count++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0);
    params[count++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, octets(ikm), ikm.size());
    // Left out when empty: HKDF then extracts with the all-zero salt of the
    // standard, and expands with no info.
    if (!salt.empty()) {
        params[count++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, octets(salt), salt.size());
    }
    if (!info.empty()) {
        params[count++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, octets(info), info.size());
    }
    params[count] = OSSL_PARAM_construct_end();
    const bool derived = !out.empty() && EVP_KDF_derive(context, out.data(), out.size(), params) > 0;
    EVP_KDF_CTX_free(context);  // clears its copies of the key material
    if (!derived) {
        ERR_clear_error();
        OPENSSL_cleanse(out.data(), out.size());
    }
    return derived;
}

std::expected<Key32, std::string> derive_passphrase_key(std::string_view passphrase,
                                                        std::span<const std::uint8_t> salt) {
    Key32 key;
    const int rc = argon2_hash(kArgon2Passes, kArgon2MemoryKib, kArgon2Lanes, passphrase.data(), passphrase.size(),
                               salt.data(), salt.size(), key.data(), key.size(), nullptr, 0, Argon2_id,
                               ARGON2_VERSION_13);
    if (rc != ARGON2_OK) {
        return std::unexpected(std::string("passphrase key derivation failed: ") + argon2_error_message(rc));
    }
    return key;
}

std::expected<Key32, std::string> derive_wrap_key(const Key32& passphrase_key) {
    Key32 wrap_key;
    const auto info = std::span(reinterpret_cast<const std::uint8_t*>(kWrapKeyInfo.data()), kWrapKeyInfo.size());
    if (!hkdf_sha256(passphrase_key.span(), {}, info, wrap_key.span())) {
        return std::unexpected(std::string("signing-key wrap key derivation failed"));
    }
    return wrap_key;
}

std::expected<Key32, std::string> wrap_key_for(std::string_view passphrase, std::span<const std::uint8_t> salt) {
    auto passphrase_key = derive_passphrase_key(passphrase, salt);
    if (!passphrase_key) return std::unexpected(std::move(passphrase_key.error()));
    return derive_wrap_key(*passphrase_key);  // the Argon2id output is wiped as it goes out of scope
}

std::expected<std::vector<std::uint8_t>, std::string> decode_salt_hex(std::string_view text) {
    if (text.size() % 2 != 0) return std::unexpected("invalid hex length: " + std::to_string(text.size()));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto byte = vorelcore_error::hex_pair(text[i], text[i + 1]);
        if (!byte) return std::unexpected(std::string("invalid hex"));
        bytes.push_back(*byte);
    }
    return bytes;
}

std::expected<SealedSigningKeyFile, std::string> seal_signing_key(const SigningKey& key, std::string_view passphrase,
                                                                  const Timestamp& now) {
    // libsodium is initialised: the key in hand was made by it.
    std::array<std::uint8_t, kSaltSize> salt{};
    randombytes_buf(salt.data(), salt.size());
    auto wrap_key = wrap_key_for(passphrase, salt);
    if (!wrap_key) return std::unexpected(std::move(wrap_key.error()));
    auto sealed = EncryptedEnvelope::seal(key.seed(), wrap_key->span(), vorelcore_contracts::ids::KeyId::generate(),
                                          now, std::nullopt, key_file_context());
    if (!sealed) return std::unexpected(sealed.error().message());
    return SealedSigningKeyFile{
        .kdf_salt_hex = hex_encode(salt),
        .sealed_key = std::move(*sealed),
        .pubkey_hex = hex_encode(key.verifying_key().to_bytes()),
    };
}

std::expected<SigningKey, std::string> unseal_signing_key(const SealedSigningKeyFile& file,
                                                          std::string_view passphrase, const Timestamp& now) {
    auto salt = decode_salt_hex(file.kdf_salt_hex);
    if (!salt) return std::unexpected(std::move(salt.error()));
    auto wrap_key = wrap_key_for(passphrase, *salt);
    if (!wrap_key) return std::unexpected(std::move(wrap_key.error()));
    // Which check failed is deliberately not told: a wrong passphrase and a
    // damaged or tampered file look the same from here.
    auto plaintext = file.sealed_key.open(wrap_key->span(), now, key_file_context());
    if (!plaintext) return std::unexpected(std::string(kCouldNotUnlock));
    if (plaintext->size() != SigningKey::kSeedSize) return std::unexpected(std::string("corrupt signing key material"));
    SeedArray seed;
    std::copy(plaintext->span().begin(), plaintext->span().end(), seed.bytes.begin());
    return SigningKey::from_bytes(seed.bytes);
}

}  // namespace razavovivodidi::keystore
