#include "vorelcore_crypto/envelope.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/codec.hpp"

namespace {

// A small document to carry; `note` is omitted from its JSON when absent.
struct Release {
    std::string name;
    std::uint32_t replicas = 0;
    std::optional<std::string> note;
    friend bool operator==(const Release&, const Release&) = default;
};

// The same document as another signer knows it, with one member more.
struct ReleaseWithOwner {
    std::string name;
    std::uint32_t replicas = 0;
    std::string owner;
};

}  // namespace

template <>
struct vorelcore_json::Fields<Release> {
    static constexpr std::string_view name = "Release";
    static constexpr auto list = std::make_tuple(field("name", &Release::name), field("replicas", &Release::replicas),
                                                 field("note", &Release::note));
};
template <>
struct vorelcore_json::Fields<ReleaseWithOwner> {
    static constexpr std::string_view name = "ReleaseWithOwner";
    static constexpr auto list =
        std::make_tuple(field("name", &ReleaseWithOwner::name), field("replicas", &ReleaseWithOwner::replicas),
                        field("owner", &ReleaseWithOwner::owner));
};

namespace {

using vorelcore_contracts::ids::EnvelopeId;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::Bytes;
using vorelcore_crypto::envelope::SignedEnvelope;
using vorelcore_crypto::hash::ContentHash;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_crypto::keys::VerifyingKey;
using vorelcore_crypto::sign::Signature;
using vorelcore_error::CoreError;
using Envelope = SignedEnvelope<Release>;

const std::vector<std::string> kContext{"voreldeploy", "release-manifest"};
const std::string kContextMessage = "validation failed: envelope associated data does not match the expected context";
const std::string kHashText = "blake3:" + std::string(64, 'c');

Timestamp at(std::string_view text) { return Timestamp::parse(text).value(); }

SigningKey signer() {
    std::array<std::uint8_t, 32> seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(0xa0 + i);
    return SigningKey::from_bytes(seed);
}

Bytes to_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

const Timestamp kCreated = at("2024-05-01T12:00:00Z");

Envelope make(std::vector<std::string> context = kContext) {
    return Envelope::sign(Release{"web", 3, std::nullopt}, KeyId::generate(), kCreated, signer(), std::move(context))
        .value();
}

// Signs the envelope as it now stands, as a signer elsewhere would have.
void resign(Envelope& e, const SigningKey& key) { e.signature = key.sign_bytes(e.signing_bytes().value()); }

Signature flipped(const Signature& s) {
    auto bytes = s.bytes();
    bytes[17] ^= 0x10;
    return Signature(bytes);
}

// ------------------------------------------------------- the signed bytes

// The signing body written out by hand: every member but the signature,
// keys sorted, absent members null, the payload in its own JSON form.
std::string body_text(const Envelope& e, std::string_view associated, std::string_view expires,
                      std::string_view previous) {
    return std::string(R"({"associated_data":)") + std::string(associated) + R"(,"created_at":")" +
           e.created_at.to_string() + R"(","envelope_id":")" + e.envelope_id.to_string() + R"(","expires_at":)" +
           std::string(expires) + R"(,"format_version":1,"key_id":")" + e.key_id.to_string() +
           R"(","payload":{"name":"web","replicas":3},"previous_hash":)" + std::string(previous) + "}";
}

TEST(SignedEnvelopeSign, SignsTheCanonicalBodyWithNulls) {
    const SigningKey key = signer();
    const Envelope e = make();
    EXPECT_EQ(e.format_version, 1);
    EXPECT_EQ(e.created_at, kCreated);
    EXPECT_EQ(e.associated_data, kContext);
    EXPECT_FALSE(e.expires_at.has_value());
    EXPECT_FALSE(e.previous_hash.has_value());

    const std::string text = body_text(e, R"(["voreldeploy","release-manifest"])", "null", "null");
    EXPECT_TRUE(key.verifying_key().verify_bytes(to_bytes(text), e.signature).has_value()) << text;
    EXPECT_EQ(e.signature, key.sign_bytes(to_bytes(text)));
}

TEST(SignedEnvelopeSign, EachEnvelopeGetsItsOwnId) {
    const Envelope a = make();
    const Envelope b = make();
    EXPECT_NE(a.envelope_id, b.envelope_id);
    EXPECT_NE(a.envelope_id, EnvelopeId());
    EXPECT_NE(a.signature, b.signature);
}

// An envelope made elsewhere, with every member present and an empty
// context, verifies when signed over the hand-written body.
TEST(SignedEnvelopeVerify, CoversExpiryPreviousHashAndEmptyContext) {
    const SigningKey key = signer();
    Envelope e = make({});
    e.expires_at = at("2024-06-01T00:00:00Z");
    e.previous_hash = ContentHash::parse(kHashText).value();
    const std::string text = body_text(e, "[]", R"("2024-06-01T00:00:00Z")", "\"" + kHashText + "\"");
    e.signature = key.sign_bytes(to_bytes(text));
    EXPECT_TRUE(e.verify(key.verifying_key(), kCreated, {}).has_value()) << text;
}

// ------------------------------------------------------- the check order

TEST(SignedEnvelopeVerify, ChecksVersionContextSignatureExpiryInOrder) {
    const SigningKey key = signer();
    const VerifyingKey verifying = key.verifying_key();
    const VerifyingKey stranger = SigningKey::generate().verifying_key();
    const Timestamp now = kCreated.saturating_add_seconds(3600);
    const std::string signature_failed = "signature verification failed";

    struct Case {
        const char* what;
        std::function<void(Envelope&)> change;
        std::optional<std::string> error;  // empty: verifies
        const VerifyingKey* key = nullptr;
        std::vector<std::string> expected_context = kContext;
    };
    const Case cases[] = {
        {"untouched", [](Envelope&) {}, std::nullopt},
        {"payload member changed", [](Envelope& e) { e.payload.name = "api"; }, signature_failed},
        {"payload number changed", [](Envelope& e) { e.payload.replicas = 4; }, signature_failed},
        {"payload optional added", [](Envelope& e) { e.payload.note = "hotfix"; }, signature_failed},
        {"created_at changed", [](Envelope& e) { e.created_at = e.created_at.saturating_add_seconds(1); },
         signature_failed},
        {"key_id changed", [](Envelope& e) { e.key_id = KeyId::generate(); }, signature_failed},
        {"envelope_id changed", [](Envelope& e) { e.envelope_id = EnvelopeId::generate(); }, signature_failed},
        {"expiry added", [](Envelope& e) { e.expires_at = at("2999-01-01T00:00:00Z"); }, signature_failed},
        {"previous hash added", [](Envelope& e) { e.previous_hash = ContentHash::parse(kHashText).value(); },
         signature_failed},
        {"signature changed", [](Envelope& e) { e.signature = flipped(e.signature); }, signature_failed},
        {"signature all zero", [](Envelope& e) { e.signature = Signature(); }, signature_failed},
        {"another key", [](Envelope&) {}, signature_failed, &stranger},
        {"context reordered",
         [](Envelope& e) { std::swap(e.associated_data[0], e.associated_data[1]); }, kContextMessage},
        {"context entry changed", [](Envelope& e) { e.associated_data[1] = "policy-ruleset"; }, kContextMessage},
        {"context entry differs in case", [](Envelope& e) { e.associated_data[0] = "Voreldeploy"; }, kContextMessage},
        {"context entry added", [](Envelope& e) { e.associated_data.push_back("extra"); }, kContextMessage},
        {"context emptied", [](Envelope& e) { e.associated_data.clear(); }, kContextMessage},
        {"caller expects another context", [](Envelope&) {}, kContextMessage, nullptr,
         {"product:voreldeploy", "purpose:policy-ruleset"}},
        {"wrong context and bad signature",
         [](Envelope& e) {
             e.associated_data[1] = "other";
             e.signature = flipped(e.signature);
         },
         kContextMessage},
        {"format version 2 with a valid signature",
         [&](Envelope& e) {
             e.format_version = 2;
             resign(e, key);
         },
         "unsupported contract version: 2 (supported 1..=1)"},
        {"format version 0", [](Envelope& e) { e.format_version = 0; },
         "unsupported contract version: 0 (supported 1..=1)"},
        {"format version 2 and wrong context",
         [](Envelope& e) {
             e.format_version = 2;
             e.associated_data.clear();
         },
         "unsupported contract version: 2 (supported 1..=1)"},
        {"expired one second ago",
         [&](Envelope& e) {
             e.expires_at = now.saturating_add_seconds(-1);
             resign(e, key);
         },
         "envelope expired at 2024-05-01T12:59:59Z"},
        {"expires exactly now",
         [&](Envelope& e) {
             e.expires_at = now;
             resign(e, key);
         },
         std::nullopt},
        {"expires later",
         [&](Envelope& e) {
             e.expires_at = now.saturating_add_seconds(1);
             resign(e, key);
         },
         std::nullopt},
        {"expired with a fractional time",
         [&](Envelope& e) {
             e.expires_at = at("2024-05-01T12:59:59.5Z");
             resign(e, key);
         },
         "envelope expired at 2024-05-01T12:59:59.5Z"},
        {"expired and bad signature",
         [](Envelope& e) {
             e.expires_at = at("2000-01-01T00:00:00Z");
             e.signature = flipped(e.signature);
         },
         signature_failed},
        {"expired and wrong context",
         [&](Envelope& e) {
             e.expires_at = at("2000-01-01T00:00:00Z");
             e.associated_data.pop_back();
             resign(e, key);
         },
         kContextMessage},
        {"created in the future", [&](Envelope& e) {
             e.created_at = now.saturating_add_seconds(86400);
             resign(e, key);
         },
         std::nullopt},
        {"with a previous hash",
         [&](Envelope& e) {
             e.previous_hash = ContentHash::parse(kHashText).value();
             resign(e, key);
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Envelope e = make();
        c.change(e);
        auto result = e.verify(c.key ? *c.key : verifying, now, c.expected_context);
        if (!c.error) {
            EXPECT_TRUE(result.has_value()) << result.error().message();
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error().message(), *c.error);
        }
    }
}

TEST(SignedEnvelopeVerify, ErrorKindsAndFields) {
    const SigningKey key = signer();
    const Timestamp now = kCreated;

    Envelope version = make();
    version.format_version = 2;
    const auto v = version.verify(key.verifying_key(), now, kContext).error();
    EXPECT_EQ(v.kind(), CoreError::Kind::UnsupportedVersion);
    EXPECT_EQ(v.first(), "2");
    EXPECT_EQ(v.second(), "1");
    EXPECT_EQ(v.third(), "1");

    Envelope context = make();
    EXPECT_EQ(context.verify(key.verifying_key(), now, {"voreldeploy"}).error().kind(),
              CoreError::Kind::Validation);

    Envelope expired = make();
    expired.expires_at = now.saturating_add_seconds(-1);
    resign(expired, key);
    const auto x = expired.verify(key.verifying_key(), now, kContext).error();
    EXPECT_EQ(x.kind(), CoreError::Kind::Expired);
    EXPECT_EQ(x.first(), "2024-05-01T11:59:59Z");

    Envelope forged = make();
    forged.payload.replicas = 300;
    EXPECT_EQ(forged.verify(key.verifying_key(), now, kContext).error(), CoreError::signature_invalid());
}

// ------------------------------------------------------------ JSON form

std::vector<std::string> member_names(const std::string& json) {
    const auto value = vorelcore_json::parse(json).value();
    std::vector<std::string> names;
    for (const auto& member : *value.as_object()) names.push_back(member.key);
    return names;
}

TEST(SignedEnvelopeJson, FreshEnvelopeOmitsAbsentMembers) {
    struct Case {
        const char* what;
        std::vector<std::string> context;
        std::vector<std::string> members;
    };
    const Case cases[] = {
        {"with context", kContext,
         {"format_version", "envelope_id", "key_id", "created_at", "associated_data", "payload", "signature"}},
        {"without context", {}, {"format_version", "envelope_id", "key_id", "created_at", "payload", "signature"}},
    };
    const SigningKey key = signer();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Envelope e = make(c.context);
        const std::string json = vorelcore_json::to_pretty(e);
        EXPECT_EQ(member_names(json), c.members) << json;

        const auto read = vorelcore_json::from_text<Envelope>(json);
        ASSERT_TRUE(read.has_value()) << read.error();
        EXPECT_EQ(*read, e);
        EXPECT_EQ(read->associated_data, c.context);
        EXPECT_TRUE(read->verify(key.verifying_key(), kCreated, c.context).has_value());
    }
}

TEST(SignedEnvelopeJson, AllNineMembersInOrderWhenPresent) {
    const SigningKey key = signer();
    Envelope e = make();
    e.expires_at = at("2030-01-01T00:00:00Z");
    e.previous_hash = ContentHash::parse(kHashText).value();
    resign(e, key);
    const std::string json = vorelcore_json::to_pretty(e);
    EXPECT_EQ(member_names(json),
              (std::vector<std::string>{"format_version", "envelope_id", "key_id", "created_at", "expires_at",
                                        "associated_data", "payload", "previous_hash", "signature"}));
    const auto value = vorelcore_json::parse(json).value();
    const auto& members = *value.as_object();
    EXPECT_EQ(members[4].value, vorelcore_json::Value("2030-01-01T00:00:00Z"));
    EXPECT_EQ(members[7].value, vorelcore_json::Value(kHashText));
    EXPECT_EQ(members[8].value, vorelcore_json::Value(e.signature.to_hex()));

    const auto read = vorelcore_json::from_text<Envelope>(json);
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(*read, e);
    EXPECT_TRUE(read->verify(key.verifying_key(), kCreated, kContext).has_value());
}

std::string replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

TEST(SignedEnvelopeJson, UpperCaseSignatureReads) {
    const SigningKey key = signer();
    const Envelope e = make();
    const std::string hex = e.signature.to_hex();
    ASSERT_NE(hex, upper(hex));
    const std::string json = replace(vorelcore_json::to_pretty(e), hex, upper(hex));
    const auto read = vorelcore_json::from_text<Envelope>(json);
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->signature, e.signature);
    EXPECT_TRUE(read->verify(key.verifying_key(), kCreated, kContext).has_value());
}

TEST(SignedEnvelopeJson, ReadFailures) {
    const Envelope e = make();
    const std::string json = vorelcore_json::to_pretty(e);
    const std::string hex = e.signature.to_hex();
    struct Case {
        const char* what;
        std::string text;
        std::string message_prefix;
    };
    const Case cases[] = {
        {"signature one digit short", replace(json, hex, hex.substr(1)),
         "validation failed: ed25519 signature must be 128 hex characters, got 127 at line "},
        {"signature not hex", replace(json, hex, "zz" + hex.substr(2)),
         "validation failed: invalid hex in signature: \"zz\" at line "},
        {"no signature", replace(json, ",\n  \"signature\": \"" + hex + "\"", ""), "missing field `signature` at line "},
        {"no payload", replace(json, ",\n  \"payload\": {\n    \"name\": \"web\",\n    \"replicas\": 3\n  }", ""),
         "missing field `payload` at line "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto read = vorelcore_json::from_text<Envelope>(c.text);
        ASSERT_FALSE(read.has_value()) << c.text;
        EXPECT_EQ(read.error().rfind(c.message_prefix, 0), 0u) << read.error();
    }
}

TEST(SignedEnvelopeJson, UndeclaredMembersAreIgnored) {
    const SigningKey key = signer();
    const Envelope e = make();
    const std::string json = replace(vorelcore_json::to_pretty(e), "\"format_version\": 1,",
                                     "\"format_version\": 1, \"comment\": \"added in transit\",");
    const auto read = vorelcore_json::from_text<Envelope>(json);
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(*read, e);
    EXPECT_TRUE(read->verify(key.verifying_key(), kCreated, kContext).has_value());
}

// A signer that put a member into the payload which this payload type does
// not know: reading drops it, so the body rebuilt here no longer matches.
TEST(SignedEnvelopeJson, PayloadMemberUnknownToTheReaderBreaksTheSignature) {
    const SigningKey key = signer();
    const auto wide = SignedEnvelope<ReleaseWithOwner>::sign(ReleaseWithOwner{"web", 3, "team-a"}, KeyId::generate(),
                                                             kCreated, key, kContext)
                          .value();
    ASSERT_TRUE(wide.verify(key.verifying_key(), kCreated, kContext).has_value());

    const auto read = vorelcore_json::from_text<Envelope>(vorelcore_json::to_pretty(wide));
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->payload, (Release{"web", 3, std::nullopt}));
    const auto result = read->verify(key.verifying_key(), kCreated, kContext);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), CoreError::signature_invalid());
}

}  // namespace
