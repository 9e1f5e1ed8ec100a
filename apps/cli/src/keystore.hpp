#pragma once
// The ruleset-signing key at rest. The key file holds the Ed25519 seed sealed
// in an encrypted envelope under a wrap key derived from a passphrase:
//
//   passphrase --Argon2id(salt)--> 32 bytes --HKDF-SHA-256(info)--> wrap key
//
// and the public key beside it for information only. The seed is never
// written in clear, printed or put into a message; every intermediate secret
// (the Argon2id output, the wrap key, the opened seed) lives in wiping memory.
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "document_io.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/encrypted.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_crypto/secret.hpp"
#include "vorelcore_json/codec.hpp"

namespace razavovivodidi::keystore {

// Argon2id parameters: version 0x13, 19456 KiB, 2 passes, 1 lane, no secret,
// no associated data, 32 bytes out.
inline constexpr std::uint32_t kArgon2MemoryKib = 19456;
inline constexpr std::uint32_t kArgon2Passes = 2;
inline constexpr std::uint32_t kArgon2Lanes = 1;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::string_view kWrapKeyInfo = "voreldeploy/ruleset-signing-key-wrap/v1";

inline constexpr std::string_view kCouldNotUnlock =
    "could not unlock the ruleset-signing key \u2014 wrong passphrase, or a corrupted/tampered key file";

using Key32 = vorelcore_crypto::SecretBytes<32>;

// The file `ruleset keygen` writes and `ruleset sign` reads.
struct SealedSigningKeyFile {
    std::string kdf_salt_hex;  // the Argon2id salt, lower-case hex
    vorelcore_crypto::envelope::EncryptedEnvelope sealed_key;  // the 32-byte seed under the wrap key
    std::string pubkey_hex;  // informational only: never checked against the sealed key

    friend bool operator==(const SealedSigningKeyFile&, const SealedSigningKeyFile&) = default;
};

// The associated data of "sealed_key": "product:voreldeploy",
// "purpose:ruleset-signing-key", in this order.
std::vector<std::string> key_file_context();

// HKDF with SHA-256 (RFC 5869) through OpenSSL, filling all of `out`. An
// empty salt is the standard's all-zero salt. False when OpenSSL refuses.
[[nodiscard]] bool hkdf_sha256(std::span<const std::uint8_t> ikm, std::span<const std::uint8_t> salt,
                               std::span<const std::uint8_t> info, std::span<std::uint8_t> out);

// Argon2id of the passphrase's bytes exactly as given. Any salt length the
// library accepts; its refusal is "passphrase key derivation failed: {its
// message}".
std::expected<Key32, std::string> derive_passphrase_key(std::string_view passphrase,
                                                        std::span<const std::uint8_t> salt);

// HKDF-SHA-256, no salt, info kWrapKeyInfo; "signing-key wrap key
// derivation failed" when refused.
std::expected<Key32, std::string> derive_wrap_key(const Key32& passphrase_key);

// Both steps; the Argon2id output is wiped before this returns.
std::expected<Key32, std::string> wrap_key_for(std::string_view passphrase, std::span<const std::uint8_t> salt);

// Hex of any even length, either case. Errors: "invalid hex length: {n}"
// (n in bytes) and "invalid hex".
std::expected<std::vector<std::uint8_t>, std::string> decode_salt_hex(std::string_view text);

// A fresh 16-byte salt, the seed sealed under a fresh random key id, created
// at `now`, no expiry, under key_file_context().
std::expected<SealedSigningKeyFile, std::string> seal_signing_key(const vorelcore_crypto::keys::SigningKey& key,
                                                                  std::string_view passphrase,
                                                                  const vorelcore_contracts::time::Timestamp& now);

// Every way the sealed key can fail to open (wrong passphrase, a changed
// ciphertext, nonce, header member or context, expiry) is the one message
// kCouldNotUnlock; opened bytes that are not 32 long are "corrupt signing
// key material". Salt and derivation failures keep their own messages.
std::expected<vorelcore_crypto::keys::SigningKey, std::string> unseal_signing_key(
    const SealedSigningKeyFile& file, std::string_view passphrase, const vorelcore_contracts::time::Timestamp& now);

}  // namespace razavovivodidi::keystore

template <>
struct vorelcore_json::Fields<razavovivodidi::keystore::SealedSigningKeyFile> {
    using T = razavovivodidi::keystore::SealedSigningKeyFile;
    static constexpr std::string_view name = "SealedSigningKeyFile";
    static constexpr auto list = std::make_tuple(field("kdf_salt_hex", &T::kdf_salt_hex),
                                                 field("sealed_key", &T::sealed_key),
                                                 field("pubkey_hex", &T::pubkey_hex));
};

namespace razavovivodidi {

template <>
struct DocumentLabel<keystore::SealedSigningKeyFile> {
    static std::string value() { return "razavovivodidi::keystore::SealedSigningKeyFile"; }
};

}  // namespace razavovivodidi
