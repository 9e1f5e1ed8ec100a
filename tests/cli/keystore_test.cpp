// The sealed ruleset-signing key: its two key-derivation steps checked
// against published vectors and independent tools, and every way a key file
// can fail to open.
#include "keystore.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../support/run_cli.hpp"
#include "hex.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/encrypted.hpp"
#include "vorelcore_crypto/keys.hpp"

namespace {

namespace keystore = razavovivodidi::keystore;
using razavovivodidi::hex_encode;
using vorelcore_contracts::ids::EnvelopeId;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::envelope::EncryptedEnvelope;
using vorelcore_crypto::keys::SigningKey;
using Bytes = std::vector<std::uint8_t>;

Bytes from_hex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string hex_of(std::span<const std::uint8_t> bytes) { return hex_encode(bytes); }

const Timestamp kNow = Timestamp::parse("2026-12-11T11:40:00Z").value();
const std::string kCouldNotUnlock =
    "could not unlock the ruleset-signing key \u2014 wrong passphrase, or a corrupted/tampered key file";

SigningKey test_key() {
    std::array<std::uint8_t, 32> seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(0xc0 ^ (i * 7));
    return SigningKey::from_bytes(seed);
}

// ------------------------------------------------------------------ HKDF

// RFC 5869 appendix A, the three SHA-256 cases, through the function the
// wrap key is derived with. Case 3 is the key store's own shape: no salt.
TEST(Hkdf, Rfc5869Sha256TestCases) {
    struct Case {
        const char* name;
        std::string ikm, salt, info, okm;
    };
    const Case cases[] = {
        {"A.1 basic", "0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b", "000102030405060708090a0b0c",
         "f0f1f2f3f4f5f6f7f8f9",
         "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
        {"A.2 longer inputs and outputs",
         "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
         "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
         "404142434445464748494a4b4c4d4e4f",
         "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
         "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
         "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf",
         "b0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecf"
         "d0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeef"
         "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff",
         "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c"
         "59045a99cac7827271cb41c65e590e09da3275600c2f09b8367793a9aca3db71"
         "cc30c58179ec3e87c14c01d5c1f3434f1d87"},
        {"A.3 zero-length salt and info", "0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b", "", "",
         "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
    };
    for (const Case& c : cases) {
        const Bytes ikm = from_hex(c.ikm), salt = from_hex(c.salt), info = from_hex(c.info);
        Bytes out(c.okm.size() / 2);
        ASSERT_TRUE(keystore::hkdf_sha256(ikm, salt, info, out)) << c.name;
        EXPECT_EQ(hex_of(out), c.okm) << c.name;
    }
}

// The Argon2id output below (first tool case), through HKDF with no salt and
// the 39-byte info "voreldeploy/ruleset-signing-key-wrap/v1"; expected value
// computed independently with Python's hmac/hashlib and with
// `openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt hexkey:... -kdfopt info:... HKDF`.
const std::string kArgonOut = "e4ea328b0ac9b560854fa04fe6e3238616bd73a96d33115801c7b3c895be86b8";
const std::string kWrapKey = "652da6b2ee54f0e1b3befec1af8348b2b818cbd68a0d0070f48b2701759f1f53";

TEST(Hkdf, WrapKeyIsHkdfWithoutSaltUnderTheFixedInfo) {
    const Bytes ikm = from_hex(kArgonOut);
    auto wrap = keystore::derive_wrap_key(keystore::Key32(std::span<const std::uint8_t, 32>(ikm.data(), 32)));
    ASSERT_TRUE(wrap) << wrap.error();
    EXPECT_EQ(hex_of(wrap->span()), kWrapKey);
}

// --------------------------------------------------------------- Argon2id

// Expected values from the reference command-line tool, password on
// standard input without a newline:
//   printf '%s' PASSPHRASE | argon2 SALT -id -t 2 -k 19456 -p 1 -l 32 -v 13 -r
struct ToolCase {
    const char* passphrase;
    const char* salt;
    const char* expected;
};
const ToolCase kToolCases[] = {
    {"correct horse battery staple", "vorel-salt-16byt",
     "e4ea328b0ac9b560854fa04fe6e3238616bd73a96d33115801c7b3c895be86b8"},
    {"p\u00e4ssw\u00f6rd \u2713", "0123456789abcdef",
     "41f931be111165cda13222015604e2695352442c39de796f0468aa1e45556c2c"},
    {"x", "saltsalt", "87f9019e4d8d5a4ff40a6ff2044cdcc66385e8249a85370c4af97d86af0a87f8"},
};

TEST(Argon2id, MatchesTheReferenceToolsRecordedOutput) {
    for (const ToolCase& c : kToolCases) {
        auto key = keystore::derive_passphrase_key(c.passphrase, bytes_of(c.salt));
        ASSERT_TRUE(key) << c.passphrase << ": " << key.error();
        EXPECT_EQ(hex_of(key->span()), c.expected) << c.passphrase;
    }
}

// The same cases, with the tool run now (it comes with scripts/install-deps).
TEST(Argon2id, MatchesTheReferenceToolRunNow) {
    if (std::system("command -v argon2 >/dev/null 2>&1") != 0) GTEST_SKIP() << "the argon2 tool is not installed";
    vorel_test::ScratchDir dir;
    for (const ToolCase& c : kToolCases) {
        const auto input = dir.write("passphrase", c.passphrase);
        const std::string command = std::string("argon2 '") + c.salt +
                                    "' -id -t 2 -k 19456 -p 1 -l 32 -v 13 -r < '" + input.string() + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        ASSERT_EQ(::pclose(pipe), 0) << output;
        auto key = keystore::derive_passphrase_key(c.passphrase, bytes_of(c.salt));
        ASSERT_TRUE(key) << key.error();
        EXPECT_EQ(hex_of(key->span()) + "\n", output) << c.passphrase;
    }
}

TEST(Argon2id, TheLibrarysOwnRefusalIsShown) {
    for (const std::size_t length : {0u, 1u, 7u}) {
        auto key = keystore::derive_passphrase_key("passphrase", Bytes(length, 0x5a));
        ASSERT_FALSE(key) << length;
        EXPECT_EQ(key.error(), "passphrase key derivation failed: Salt is too short") << length;
    }
    EXPECT_TRUE(keystore::derive_passphrase_key("passphrase", Bytes(8, 0x5a)));
    EXPECT_TRUE(keystore::derive_passphrase_key("", Bytes(64, 0x5a)));
}

// -------------------------------------------------------------- salt hex

TEST(SaltHex, AnyEvenLengthOfHexInEitherCase) {
    struct Case {
        std::string text;
        std::optional<Bytes> bytes;
        std::string error;
    };
    const Case cases[] = {
        {"", Bytes{}, ""},
        {"00ff", Bytes{0x00, 0xff}, ""},
        {"ABcdEf", Bytes{0xab, 0xcd, 0xef}, ""},
        {std::string(31, 'a'), std::nullopt, "invalid hex length: 31"},
        {"a", std::nullopt, "invalid hex length: 1"},
        {"\u00e9a", std::nullopt, "invalid hex length: 3"},  // counted in bytes
        {"0g", std::nullopt, "invalid hex"},
        {"00 1", std::nullopt, "invalid hex"},
        {"+1", std::nullopt, "invalid hex"},
        {"\u00e9", std::nullopt, "invalid hex"},
    };
    for (const Case& c : cases) {
        auto decoded = keystore::decode_salt_hex(c.text);
        if (c.bytes) {
            ASSERT_TRUE(decoded) << c.text << ": " << decoded.error();
            EXPECT_EQ(*decoded, *c.bytes) << c.text;
        } else {
            ASSERT_FALSE(decoded) << c.text;
            EXPECT_EQ(decoded.error(), c.error) << c.text;
        }
    }
}

// --------------------------------------------------------------- key file

// A key file put together by hand under the wrap key computed outside this
// code base opens with the passphrase: salt, Argon2id parameters, HKDF and
// the key-file context all match what was derived independently.
TEST(KeyFile, OpensAFileSealedUnderTheIndependentlyDerivedWrapKey) {
    const SigningKey key = test_key();
    const Bytes wrap = from_hex(kWrapKey);
    auto sealed = EncryptedEnvelope::seal(key.seed(), std::span<const std::uint8_t, 32>(wrap.data(), 32),
                                          KeyId::generate(), kNow, std::nullopt,
                                          {"product:voreldeploy", "purpose:ruleset-signing-key"});
    ASSERT_TRUE(sealed);
    const keystore::SealedSigningKeyFile file{hex_encode(bytes_of("vorel-salt-16byt")), *sealed, "not checked"};

    auto opened = keystore::unseal_signing_key(file, "correct horse battery staple", kNow);
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_EQ(opened->verifying_key(), key.verifying_key());
    EXPECT_TRUE(std::ranges::equal(opened->seed(), key.seed()));

    auto wrong = keystore::unseal_signing_key(file, "correct horse battery stapl", kNow);
    ASSERT_FALSE(wrong);
    EXPECT_EQ(wrong.error(), kCouldNotUnlock);
}

TEST(KeyFile, SealingWritesOnlyThePublicHalfInTheClear) {
    const SigningKey key = test_key();
    auto file = keystore::seal_signing_key(key, "a passphrase", kNow);
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file->kdf_salt_hex.size(), 32u);
    EXPECT_EQ(file->kdf_salt_hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(file->pubkey_hex, hex_encode(key.verifying_key().to_bytes()));
    const EncryptedEnvelope& envelope = file->sealed_key;
    EXPECT_EQ(envelope.associated_data,
              (std::vector<std::string>{"product:voreldeploy", "purpose:ruleset-signing-key"}));
    EXPECT_EQ(envelope.created_at, kNow);
    EXPECT_FALSE(envelope.expires_at);
    EXPECT_EQ(envelope.ciphertext.size(), 32u + 16u);

    const std::string text = vorelcore_json::to_pretty(*file);
    EXPECT_TRUE(text.starts_with("{\n  \"kdf_salt_hex\": \"" + file->kdf_salt_hex + "\",\n  \"sealed_key\": {"))
        << text;
    EXPECT_TRUE(text.ends_with(",\n  \"pubkey_hex\": \"" + file->pubkey_hex + "\"\n}")) << text;
    EXPECT_EQ(text.find(hex_encode(key.seed())), std::string::npos);

    auto back = vorelcore_json::from_text<keystore::SealedSigningKeyFile>(text);
    ASSERT_TRUE(back) << back.error();
    auto opened = keystore::unseal_signing_key(*back, "a passphrase", kNow);
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_TRUE(std::ranges::equal(opened->seed(), key.seed()));
}

TEST(KeyFile, EverySealingHasItsOwnSaltNonceAndIds) {
    const SigningKey key = test_key();
    auto a = keystore::seal_signing_key(key, "same", kNow);
    auto b = keystore::seal_signing_key(key, "same", kNow);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->kdf_salt_hex, b->kdf_salt_hex);
    EXPECT_NE(a->sealed_key.nonce, b->sealed_key.nonce);
    EXPECT_NE(a->sealed_key.ciphertext, b->sealed_key.ciphertext);
    EXPECT_NE(a->sealed_key.key_id, b->sealed_key.key_id);
    EXPECT_NE(a->sealed_key.envelope_id, b->sealed_key.envelope_id);
}

TEST(KeyFile, PassphrasesAreTakenExactlyAsGiven) {
    const SigningKey key = test_key();
    struct Case {
        const char* sealed_with;
        const char* opened_with;
        bool opens;
    };
    const Case cases[] = {
        {"", "", true},
        {"", " ", false},
        {"Secret", "secret", false},
        {"secret", "secret\n", false},
        {"\u00e9", "e\u0301", false},  // no Unicode normalisation
    };
    for (const Case& c : cases) {
        auto file = keystore::seal_signing_key(key, c.sealed_with, kNow);
        ASSERT_TRUE(file);
        auto opened = keystore::unseal_signing_key(*file, c.opened_with, kNow);
        EXPECT_EQ(opened.has_value(), c.opens) << '"' << c.sealed_with << "\" / \"" << c.opened_with << '"';
        if (!opened) {
            EXPECT_EQ(opened.error(), kCouldNotUnlock);
        }
    }
}

TEST(KeyFile, EveryOpeningFailureIsTheOneMessage) {
    const SigningKey key = test_key();
    auto sealed = keystore::seal_signing_key(key, "right", kNow);
    ASSERT_TRUE(sealed);
    const keystore::SealedSigningKeyFile base = *sealed;
    using File = keystore::SealedSigningKeyFile;
    struct Case {
        const char* name;
        std::function<void(File&)> change;
        std::string passphrase;
        std::string error;
    };
    const auto keep = [](File&) {};
    const Case cases[] = {
        {"wrong passphrase", keep, "wrong", kCouldNotUnlock},
        {"ciphertext byte", [](File& f) { f.sealed_key.ciphertext[7] ^= 1; }, "right", kCouldNotUnlock},
        {"tag byte", [](File& f) { f.sealed_key.ciphertext.back() ^= 1; }, "right", kCouldNotUnlock},
        {"nonce byte", [](File& f) { f.sealed_key.nonce[0] ^= 1; }, "right", kCouldNotUnlock},
        {"short nonce", [](File& f) { f.sealed_key.nonce.pop_back(); }, "right", kCouldNotUnlock},
        {"key_id", [](File& f) { f.sealed_key.key_id = KeyId::generate(); }, "right", kCouldNotUnlock},
        {"envelope_id", [](File& f) { f.sealed_key.envelope_id = EnvelopeId::generate(); }, "right", kCouldNotUnlock},
        {"created_at", [](File& f) { f.sealed_key.created_at = Timestamp::min(); }, "right", kCouldNotUnlock},
        {"expiry added", [](File& f) { f.sealed_key.expires_at = Timestamp::max(); }, "right", kCouldNotUnlock},
        {"expired", [](File& f) { f.sealed_key.expires_at = Timestamp::min(); }, "right", kCouldNotUnlock},
        {"context", [](File& f) { f.sealed_key.associated_data[1] = "purpose:policy-ruleset"; }, "right",
         kCouldNotUnlock},
        {"no context", [](File& f) { f.sealed_key.associated_data.clear(); }, "right", kCouldNotUnlock},
        {"format version", [](File& f) { f.sealed_key.format_version = 2; }, "right", kCouldNotUnlock},
        {"another valid salt", [](File& f) { f.kdf_salt_hex[0] = f.kdf_salt_hex[0] == '0' ? '1' : '0'; }, "right",
         kCouldNotUnlock},
        {"salt of 31 characters", [](File& f) { f.kdf_salt_hex.pop_back(); }, "right", "invalid hex length: 31"},
        {"salt not hex", [](File& f) { f.kdf_salt_hex[30] = 'x'; }, "right", "invalid hex"},
        {"salt of 7 bytes", [](File& f) { f.kdf_salt_hex.resize(14); }, "right",
         "passphrase key derivation failed: Salt is too short"},
        // Neither the salt nor the wrap key is checked before opening, so
        // the salt message wins over a wrong passphrase.
        {"salt of 31 characters, wrong passphrase", [](File& f) { f.kdf_salt_hex.pop_back(); }, "wrong",
         "invalid hex length: 31"},
    };
    for (const Case& c : cases) {
        File file = base;
        c.change(file);
        auto opened = keystore::unseal_signing_key(file, c.passphrase, kNow);
        ASSERT_FALSE(opened) << c.name;
        EXPECT_EQ(opened.error(), c.error) << c.name;
    }
    // The public key is information only: editing it changes nothing.
    File edited = base;
    edited.pubkey_hex = std::string(64, 'f');
    auto opened = keystore::unseal_signing_key(edited, "right", kNow);
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_EQ(opened->verifying_key(), key.verifying_key());
}

// Sealed material that opens but is not a 32-byte seed.
TEST(KeyFile, OpenedBytesThatAreNotASeedAreCorrupt) {
    const std::array<std::uint8_t, 16> salt{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto wrap = keystore::wrap_key_for("pw", salt);
    ASSERT_TRUE(wrap) << wrap.error();
    for (const std::size_t length : {0u, 31u, 33u, 64u}) {
        auto sealed = EncryptedEnvelope::seal(Bytes(length, 0x42), wrap->span(), KeyId::generate(), kNow,
                                              std::nullopt, keystore::key_file_context());
        ASSERT_TRUE(sealed);
        const keystore::SealedSigningKeyFile file{hex_encode(salt), *sealed, ""};
        auto opened = keystore::unseal_signing_key(file, "pw", kNow);
        ASSERT_FALSE(opened) << length;
        EXPECT_EQ(opened.error(), "corrupt signing key material") << length;
    }
}

}  // namespace
