#include "vorelcore_crypto/encrypted.hpp"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/parse.hpp"
#include "vorelcore_json/write.hpp"

namespace {

using vorelcore_contracts::ids::EnvelopeId;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::Bytes;
using vorelcore_crypto::envelope::AeadAlgorithm;
using vorelcore_crypto::envelope::EncryptedEnvelope;
using vorelcore_error::CoreError;

using Key = std::array<std::uint8_t, 32>;

Bytes from_hex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

Bytes to_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Timestamp at(std::string_view text) { return Timestamp::parse(text).value(); }

Key key_with(std::uint8_t first) {
    Key key{};
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(first + i);
    return key;
}

Key flip_bit(Key key) {
    key[17] ^= 0x08;
    return key;
}

const Key kKey = key_with(0x30);
const KeyId kKeyId = KeyId::parse("0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9").value();
const std::vector<std::string> kContext{"product:voreldeploy", "purpose:test-secret"};
const Timestamp kCreated = at("2024-05-01T12:00:00Z");
const Timestamp kExpires = at("2024-06-01T00:00:00Z");
const Bytes kSecret = to_bytes("thirty-two bytes of secret seed!");

EncryptedEnvelope sealed(std::optional<Timestamp> expires = kExpires, const Bytes& plaintext = kSecret) {
    auto envelope = EncryptedEnvelope::seal(plaintext, kKey, kKeyId, kCreated, expires, kContext);
    EXPECT_TRUE(envelope) << envelope.error();
    return *envelope;
}

Bytes opened(const std::expected<vorelcore_crypto::envelope::Plaintext, CoreError>& result) {
    EXPECT_TRUE(result) << result.error();
    if (!result) return {};
    return Bytes(result->span().begin(), result->span().end());
}

// ------------------------------------------------------------- the cipher

// draft-irtf-cfrg-xchacha-03, appendix A.3.1 (AEAD_XChaCha20_Poly1305).
TEST(XChaCha20Poly1305, PublishedVector) {
    const Bytes key = from_hex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
    const Bytes nonce = from_hex("404142434445464748494a4b4c4d4e4f5051525354555657");
    const Bytes aad = from_hex("50515253c0c1c2c3c4c5c6c7");
    const Bytes plaintext = to_bytes(
        "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, sunscreen "
        "would be it.");
    const Bytes expected = from_hex(
        "bd6d179d3e83d43b9576579493c0e939572a1700252bfaccbed2902c21396cbb"
        "731c7f1b0b4aa6440bf3a82f4eda7e39ae64c6708c54c216cb96b72e1213b452"
        "2f8c9ba40db5d945b11b69b982c1bb9e3f3fac2bc369488f76b2383565d3fff9"
        "21f9664c97637da9768812f615c68b13b52e"
        "c0875924c1c7987947deafd8780acf49");  // the tag
    ASSERT_EQ(key.size(), 32u);
    ASSERT_EQ(nonce.size(), 24u);
    ASSERT_EQ(plaintext.size(), 114u);
    ASSERT_EQ(expected.size(), 114u + 16u);
    const std::span<const std::uint8_t, 32> k(key.data(), 32);
    const std::span<const std::uint8_t, 24> n(nonce.data(), 24);

    auto ciphertext = vorelcore_crypto::envelope::xchacha20poly1305_encrypt(k, n, aad, plaintext);
    ASSERT_TRUE(ciphertext);
    EXPECT_EQ(*ciphertext, expected);

    EXPECT_EQ(opened(vorelcore_crypto::envelope::xchacha20poly1305_decrypt(k, n, aad, expected)), plaintext);
    Bytes other_aad = aad;
    other_aad.back() ^= 1;
    EXPECT_EQ(vorelcore_crypto::envelope::xchacha20poly1305_decrypt(k, n, other_aad, expected).error(),
              CoreError::decryption_failed());
}

// --------------------------------------------------------- sealing, opening

TEST(EncryptedEnvelope, SealsWhatOpens) {
    const EncryptedEnvelope envelope = sealed();
    EXPECT_EQ(envelope.format_version, 1);
    EXPECT_EQ(envelope.algorithm, AeadAlgorithm::XChaCha20Poly1305);
    EXPECT_EQ(envelope.key_id, kKeyId);
    EXPECT_EQ(envelope.created_at, kCreated);
    EXPECT_EQ(envelope.expires_at, kExpires);
    EXPECT_EQ(envelope.associated_data, kContext);
    EXPECT_EQ(envelope.nonce.size(), 24u);
    EXPECT_EQ(envelope.ciphertext.size(), kSecret.size() + 16);
    EXPECT_EQ(std::search(envelope.ciphertext.begin(), envelope.ciphertext.end(), kSecret.begin(), kSecret.begin() + 8),
              envelope.ciphertext.end());

    // Valid up to and including the expiry instant.
    for (const Timestamp& now : {kCreated, at("2024-05-31T23:59:59Z"), kExpires}) {
        EXPECT_EQ(opened(envelope.open(kKey, now, kContext)), kSecret) << now;
    }
    const EncryptedEnvelope forever = sealed(std::nullopt);
    EXPECT_FALSE(forever.expires_at);
    EXPECT_EQ(opened(forever.open(kKey, Timestamp::max(), kContext)), kSecret);
}

TEST(EncryptedEnvelope, EmptyPlaintextIsJustTheTag) {
    const EncryptedEnvelope envelope = sealed(std::nullopt, {});
    EXPECT_EQ(envelope.ciphertext.size(), 16u);
    auto result = envelope.open(kKey, kCreated, kContext);
    ASSERT_TRUE(result) << result.error();
    EXPECT_TRUE(result->empty());
    EXPECT_EQ(envelope.open(flip_bit(kKey), kCreated, kContext).error(), CoreError::decryption_failed());
}

TEST(EncryptedEnvelope, EverySealingIsFresh) {
    const EncryptedEnvelope a = sealed();
    const EncryptedEnvelope b = sealed();
    EXPECT_NE(a.envelope_id, b.envelope_id);
    EXPECT_NE(a.nonce, b.nonce);
    EXPECT_NE(a.ciphertext, b.ciphertext);
}

// The header really is these canonical bytes: libsodium, called directly
// with them as associated data, opens what seal produced.
TEST(EncryptedEnvelope, AuthenticatesTheCanonicalSevenMemberHeader) {
    struct Case {
        const char* name;
        std::optional<Timestamp> expires;
        std::vector<std::string> context;
        std::string expected_tail;  // after "envelope_id"
    };
    const Case cases[] = {
        {"no expiry, empty context", std::nullopt, {}, R"(","expires_at":null,"format_version":1,"key_id":")"},
        {"expiry and context", kExpires, kContext,
         R"(","expires_at":"2024-06-01T00:00:00Z","format_version":1,"key_id":")"},
    };
    for (const Case& c : cases) {
        auto envelope = EncryptedEnvelope::seal(kSecret, kKey, kKeyId, kCreated, c.expires, c.context);
        ASSERT_TRUE(envelope) << c.name;
        std::string context_json = "[";
        for (std::size_t i = 0; i < c.context.size(); ++i) context_json += (i ? ",\"" : "\"") + c.context[i] + "\"";
        context_json += "]";
        const std::string header = R"({"algorithm":"xchacha20-poly1305","associated_data":)" + context_json +
                                   R"(,"created_at":"2024-05-01T12:00:00Z","envelope_id":")" +
                                   envelope->envelope_id.to_string() + c.expected_tail + kKeyId.to_string() + "\"}";
        auto bytes = envelope->header_bytes();
        ASSERT_TRUE(bytes) << c.name;
        EXPECT_EQ(std::string(bytes->begin(), bytes->end()), header) << c.name;

        Bytes plaintext(envelope->ciphertext.size() - 16);
        unsigned long long length = 0;
        ASSERT_EQ(crypto_aead_xchacha20poly1305_ietf_decrypt(
                      plaintext.data(), &length, nullptr, envelope->ciphertext.data(), envelope->ciphertext.size(),
                      reinterpret_cast<const unsigned char*>(header.data()), header.size(), envelope->nonce.data(),
                      kKey.data()),
                  0)
            << c.name;
        EXPECT_EQ(plaintext, kSecret) << c.name;
    }
}

// ------------------------------------------------------------- check order

TEST(EncryptedEnvelope, ChecksRunInOrderAndTheFirstFailureIsReported) {
    const EncryptedEnvelope base = sealed();
    const Timestamp before_expiry = at("2024-05-15T00:00:00Z");
    const Timestamp after_expiry = at("2024-06-01T00:00:01Z");
    const Key wrong_key = flip_bit(kKey);
    const std::vector<std::string> other_context{"product:voreldeploy", "purpose:something-else"};
    const CoreError unsupported = CoreError::unsupported_version("2", "1", "1");
    const CoreError context = CoreError::validation("envelope associated data does not match the expected context");
    const CoreError expired = CoreError::expired("2024-06-01T00:00:00Z");
    const CoreError failed = CoreError::decryption_failed();

    struct Case {
        const char* name;
        std::function<void(EncryptedEnvelope&)> change;
        Key key;
        Timestamp now;
        std::vector<std::string> expected_context;
        CoreError error;
    };
    const auto keep = [](EncryptedEnvelope&) {};
    const Case cases[] = {
        // The version comes before everything, expiry before any cryptography.
        {"version 2, wrong context and key, expired", [](EncryptedEnvelope& e) { e.format_version = 2; }, wrong_key,
         after_expiry, other_context, unsupported},
        {"wrong context, wrong key, expired", keep, wrong_key, after_expiry, other_context, context},
        {"context entry changed in the document", [](EncryptedEnvelope& e) { e.associated_data[1] += "!"; }, kKey,
         before_expiry, kContext, context},
        {"context entry dropped from the document", [](EncryptedEnvelope& e) { e.associated_data.pop_back(); }, kKey,
         before_expiry, kContext, context},
        {"expired, wrong key", keep, wrong_key, after_expiry, kContext, expired},
        {"expired, 23-byte nonce", [](EncryptedEnvelope& e) { e.nonce.pop_back(); }, kKey, after_expiry, kContext,
         expired},
        {"expired, ciphertext changed", [](EncryptedEnvelope& e) { e.ciphertext[0] ^= 1; }, kKey, after_expiry,
         kContext, expired},
        // Everything after expiry is one undistinguished failure.
        {"23-byte nonce", [](EncryptedEnvelope& e) { e.nonce.pop_back(); }, kKey, before_expiry, kContext, failed},
        {"25-byte nonce", [](EncryptedEnvelope& e) { e.nonce.push_back(0); }, kKey, before_expiry, kContext, failed},
        {"key one bit off", keep, wrong_key, before_expiry, kContext, failed},
        {"nonce byte changed", [](EncryptedEnvelope& e) { e.nonce[5] ^= 0x40; }, kKey, before_expiry, kContext,
         failed},
        {"ciphertext byte changed", [](EncryptedEnvelope& e) { e.ciphertext[3] ^= 1; }, kKey, before_expiry, kContext,
         failed},
        {"tag byte changed", [](EncryptedEnvelope& e) { e.ciphertext.back() ^= 0x80; }, kKey, before_expiry, kContext,
         failed},
        {"ciphertext cut to 15 bytes", [](EncryptedEnvelope& e) { e.ciphertext.resize(15); }, kKey, before_expiry,
         kContext, failed},
        {"ciphertext empty", [](EncryptedEnvelope& e) { e.ciphertext.clear(); }, kKey, before_expiry, kContext,
         failed},
        {"ciphertext one byte longer", [](EncryptedEnvelope& e) { e.ciphertext.push_back(0); }, kKey, before_expiry,
         kContext, failed},
        {"key_id changed", [](EncryptedEnvelope& e) { e.key_id = KeyId::generate(); }, kKey, before_expiry, kContext,
         failed},
        {"envelope_id changed", [](EncryptedEnvelope& e) { e.envelope_id = EnvelopeId::generate(); }, kKey,
         before_expiry, kContext, failed},
        {"created_at changed", [](EncryptedEnvelope& e) { e.created_at = at("2024-05-01T12:00:01Z"); }, kKey,
         before_expiry, kContext, failed},
        {"expiry removed", [](EncryptedEnvelope& e) { e.expires_at.reset(); }, kKey, before_expiry, kContext, failed},
        {"expiry extended", [](EncryptedEnvelope& e) { e.expires_at = at("2034-06-01T00:00:00Z"); }, kKey,
         after_expiry, kContext, failed},
        {"context changed in the document and expected alike",
         [](EncryptedEnvelope& e) { e.associated_data = {"product:voreldeploy", "purpose:something-else"}; }, kKey,
         before_expiry, other_context, failed},
    };
    for (const Case& c : cases) {
        EncryptedEnvelope envelope = base;
        c.change(envelope);
        auto result = envelope.open(c.key, c.now, c.expected_context);
        ASSERT_FALSE(result) << c.name;
        EXPECT_EQ(result.error(), c.error) << c.name << ": got " << result.error();
    }
    // The unchanged envelope still opens: every failure above came from its change.
    EXPECT_EQ(opened(base.open(kKey, before_expiry, kContext)), kSecret);
}

// ---------------------------------------------------------------- document

std::string text_with(const EncryptedEnvelope& envelope, const std::string& key,
                      std::optional<std::string> value_json) {
    vorelcore_json::Value value = vorelcore_json::to_value(envelope);
    auto& object = *value.as_object();
    std::erase_if(object, [&](const vorelcore_json::Member& m) { return m.key == key; });
    if (value_json) vorelcore_json::push_member(object, key, vorelcore_json::parse(*value_json).value());
    return vorelcore_json::write_pretty(value);
}

TEST(EncryptedEnvelope, DocumentMembersInOrderWithBytesAsNumberArrays) {
    const EncryptedEnvelope full = sealed();
    const EncryptedEnvelope bare = [] {
        auto e = EncryptedEnvelope::seal(kSecret, kKey, kKeyId, kCreated, std::nullopt, {});
        return *e;
    }();
    const auto keys_of = [](const EncryptedEnvelope& e) {
        std::vector<std::string> keys;
        const vorelcore_json::Value value = vorelcore_json::to_value(e);
        for (const auto& member : *value.as_object()) keys.push_back(member.key);
        return keys;
    };
    EXPECT_EQ(keys_of(full), (std::vector<std::string>{"format_version", "envelope_id", "algorithm", "key_id",
                                                       "created_at", "expires_at", "associated_data", "nonce",
                                                       "ciphertext"}));
    EXPECT_EQ(keys_of(bare), (std::vector<std::string>{"format_version", "envelope_id", "algorithm", "key_id",
                                                       "created_at", "nonce", "ciphertext"}));

    const vorelcore_json::Value value = vorelcore_json::to_value(full);
    for (const auto& member : *value.as_object()) {
        if (member.key == "algorithm") {
            EXPECT_EQ(*member.value.as_string(), "xchacha20-poly1305");
        }
        if (member.key != "nonce" && member.key != "ciphertext") continue;
        const Bytes& bytes = member.key == "nonce" ? full.nonce : full.ciphertext;
        const auto& array = *member.value.as_array();
        ASSERT_EQ(array.size(), bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            EXPECT_EQ(array[i], vorelcore_json::Value(static_cast<std::uint64_t>(bytes[i]))) << member.key << i;
        }
    }

    // Written, read back and opened.
    auto back = vorelcore_json::from_text<EncryptedEnvelope>(vorelcore_json::to_pretty(full));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, full);
    EXPECT_EQ(opened(back->open(kKey, kCreated, kContext)), kSecret);
}

TEST(EncryptedEnvelope, ReadingTheDocument) {
    const EncryptedEnvelope bare = [] {
        auto e = EncryptedEnvelope::seal(kSecret, kKey, kKeyId, kCreated, std::nullopt, {});
        return *e;
    }();
    struct Case {
        const char* name;
        std::string key;
        std::optional<std::string> value_json;
        std::string error_start;  // empty: reads and opens under the empty context
    };
    const Case cases[] = {
        {"another algorithm", "algorithm", R"("aes-256-gcm")",
         "unknown variant `aes-256-gcm`, expected `xchacha20-poly1305`"},
        {"algorithm in capitals", "algorithm", R"("XCHACHA20-POLY1305")", "unknown variant `XCHACHA20-POLY1305`"},
        {"nonce as hex text", "nonce", R"("000102")", "invalid type: string \"000102\", expected a sequence"},
        {"a byte above 255", "ciphertext", "[1, 256]", "invalid value: integer `256`, expected u8"},
        {"a negative byte", "nonce", "[-1]", "invalid value: integer `-1`, expected u8"},
        {"no ciphertext", "ciphertext", std::nullopt, "missing field `ciphertext`"},
        {"no algorithm", "algorithm", std::nullopt, "missing field `algorithm`"},
        {"an unknown member", "comment", R"("ignored")", ""},
        {"associated_data missing", "associated_data", std::nullopt, ""},
        {"associated_data empty", "associated_data", "[]", ""},
        {"expires_at null", "expires_at", "null", ""},
    };
    for (const Case& c : cases) {
        auto read = vorelcore_json::from_text<EncryptedEnvelope>(text_with(bare, c.key, c.value_json));
        if (c.error_start.empty()) {
            ASSERT_TRUE(read) << c.name << ": " << read.error();
            EXPECT_EQ(*read, bare) << c.name;
            EXPECT_EQ(opened(read->open(kKey, kCreated, {})), kSecret) << c.name;
        } else {
            ASSERT_FALSE(read) << c.name;
            EXPECT_TRUE(read.error().starts_with(c.error_start)) << c.name << ": got " << read.error();
        }
    }
}

}  // namespace
