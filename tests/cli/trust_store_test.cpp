// The trust store in-process: the public-key parser, adding signers, loading
// the file, and accepting signed rulesets under the stored keys.
#include "trust_store.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/run_cli.hpp"
#include "hex.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_error/text.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/decision.hpp"
#include "vorelcore_policy/eval.hpp"

namespace razavovivodidi::trust_store {
namespace {

namespace fs = std::filesystem;
using vorel_test::ScratchDir;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::ids::PolicyId;
using vorelcore_contracts::ids::ProductId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_crypto::keys::VerifyingKey;
using vorelcore_policy::decision::Decision;
using vorelcore_policy::eval::PolicyRule;
using vorelcore_policy::eval::PolicyRuleset;
using vorelcore_policy::eval::SignedPolicyRuleset;

const std::string kNotAPoint = "validation failed: invalid ed25519 public key: point encoding is not canonical";
const std::string kEveryKey =
    "ruleset failed signature verification against every key in the trust store \u2014 refusing to evaluate an "
    "unverifiable ruleset (unsigned, tampered, expired, or signed by a key nobody deliberately trusted)";
const std::string kNoKeys =
    "trust store has no trusted ruleset-signing keys \u2014 refusing every ruleset until one is established with "
    "`razavovivodidi trust add`";

SigningKey signing_key(std::uint8_t fill) {
    std::array<std::uint8_t, 32> seed{};
    seed.fill(fill);
    return SigningKey::from_bytes(seed);
}

std::string pubkey_hex(const SigningKey& key) { return hex_encode(key.verifying_key().to_bytes()); }

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

Timestamp at(std::int64_t seconds) { return *Timestamp::from_unix(seconds, 0); }

// ------------------------------------------------------------ parse_public_key

TEST(ParsePublicKey, RefusalsNameTheirCause) {
    const std::string good = pubkey_hex(signing_key(1));
    struct Case {
        const char* what;
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"one short", good.substr(1), "expected a 64-character hex Ed25519 public key, got 63 characters"},
        {"one long", good + "0", "expected a 64-character hex Ed25519 public key, got 65 characters"},
        {"empty", "", "expected a 64-character hex Ed25519 public key, got 0 characters"},
        {"length counts bytes, not characters", "\u00e9" + good.substr(1),
         "expected a 64-character hex Ed25519 public key, got 65 characters"},
        {"not hex", good.substr(0, 10) + "zz" + good.substr(12), "invalid hex in public key: \"zz\""},
        {"only the second digit is bad", good.substr(0, 62) + "0g", "invalid hex in public key: \"0g\""},
        {"the pair is shown quoted with escapes", "\"" + good.substr(1),
         "invalid hex in public key: \"\\\"" + good.substr(1, 1) + "\""},
        {"nothing is trimmed", good.substr(0, 63) + "\n",
         "invalid hex in public key: \"" + good.substr(62, 1) + "\\n\""},
        {"a whole two-byte character in one pair", good.substr(0, 62) + "\u00e9", "invalid hex in public key: \"\u00e9\""},
        {"a character split across two pairs", "0\u00e9" + good.substr(3), "public key is not ASCII hex"},
        {"bytes that are not UTF-8 at all", good.substr(0, 62) + "\xff\xfe", "public key is not ASCII hex"},
        {"32 bytes that are not a point", std::string(64, 'f'), kNotAPoint},
    };
    for (const auto& c : cases) {
        const auto key = parse_public_key(c.text);
        ASSERT_FALSE(key) << c.what;
        EXPECT_EQ(key.error(), c.error) << c.what;
    }
}

TEST(ParsePublicKey, EitherCaseNamesTheSameKey) {
    const SigningKey signer = signing_key(2);
    const std::string hex = pubkey_hex(signer);
    for (const std::string& text : {hex, upper(hex)}) {
        const auto key = parse_public_key(text);
        ASSERT_TRUE(key) << text << ": " << key.error();
        EXPECT_EQ(*key, signer.verifying_key());
    }
}

// ------------------------------------------------------------------------ add

TEST(TrustStoreAdd, KeyTextIsTrimmedOfWhiteSpaceAndLowerCased) {
    const std::string key = pubkey_hex(signing_key(3));
    const std::string cases[] = {
        upper(key),
        "  " + key + "  ",
        key + "\n",
        "\u3000" + key + "\u3000",
        "\t\v\f\r\n" + upper(key) + "\r\n",
        "\u0085\u00a0\u1680" + key + "\u2000\u200a\u2028\u2029\u202f\u205f",
    };
    for (const auto& text : cases) {
        TrustStore store;
        const auto added = store.add("ops", text, at(1'700'000'000));
        ASSERT_TRUE(added) << vorelcore_error::debug_quoted(text) << ": " << added.error();
        ASSERT_EQ(store.signers.size(), 1u);
        EXPECT_EQ(store.signers[0], (TrustedSigner{"ops", key, at(1'700'000'000)}));
    }
}

TEST(TrustStoreAdd, OnlyWhiteSpaceIsTrimmedAndOnlyAtTheEnds) {
    const std::string key = pubkey_hex(signing_key(4));
    struct Case {
        const char* what;
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"zero-width space is not white space", "\u200b" + key,
         "expected a 64-character hex Ed25519 public key, got 67 characters"},
        {"byte order mark is not white space", key + "\ufeff",
         "expected a 64-character hex Ed25519 public key, got 67 characters"},
        {"inner space stays", key.substr(0, 32) + " " + key.substr(32),
         "expected a 64-character hex Ed25519 public key, got 65 characters"},
        {"length is judged after trimming", "  " + key.substr(1) + "\n",
         "expected a 64-character hex Ed25519 public key, got 63 characters"},
        {"a lone continuation byte stops the trimming", key + " \x80",
         "expected a 64-character hex Ed25519 public key, got 66 characters"},
        {"only ASCII letters are lower-cased", key.substr(0, 62) + "\u00c9",
         "invalid hex in public key: \"\u00c9\""},
    };
    for (const auto& c : cases) {
        TrustStore store;
        const auto added = store.add("ops", c.text, at(0));
        ASSERT_FALSE(added) << c.what;
        EXPECT_EQ(added.error(), c.error) << c.what;
        EXPECT_TRUE(store.signers.empty()) << c.what;
    }
}

TEST(TrustStoreAdd, RefusalsLeaveTheStoreAsItWas) {
    const std::string key_a = pubkey_hex(signing_key(5));
    const std::string key_b = pubkey_hex(signing_key(6));
    TrustStore store;
    ASSERT_TRUE(store.add("ops", key_a, at(100)));

    struct Case {
        const char* what;
        std::string name;
        std::string key;
        std::string error;
    };
    const std::string different_name = "this public key is already trusted, under a different name";
    const Case cases[] = {
        {"same name, another key", "ops", key_b, "a trusted signer named \"ops\" already exists in this trust store"},
        {"same name and same key: the name is reported", "ops", key_a,
         "a trusted signer named \"ops\" already exists in this trust store"},
        {"same key in upper case under another name", "backup", upper(key_a), different_name},
        {"same key with white space under another name", "backup", " " + key_a + "\n", different_name},
        {"the key is checked before the name", "ops", "zz" + key_b.substr(2), "invalid hex in public key: \"zz\""},
        {"a bad key under a new name", "backup", std::string(64, 'f'), kNotAPoint},
    };
    for (const auto& c : cases) {
        const TrustStore before = store;
        const auto added = store.add(c.name, c.key, at(200));
        ASSERT_FALSE(added) << c.what;
        EXPECT_EQ(added.error(), c.error) << c.what;
        EXPECT_EQ(store, before) << c.what;
    }
}

TEST(TrustStoreAdd, NamesAreComparedByteForByteAndQuotedInMessages) {
    const std::string key_a = pubkey_hex(signing_key(7));
    const std::string key_b = pubkey_hex(signing_key(8));
    const std::string key_c = pubkey_hex(signing_key(9));
    const std::string name = "team \"blue\"\n";
    TrustStore store;
    ASSERT_TRUE(store.add(name, key_a, at(1)));
    ASSERT_TRUE(store.add("Team \"blue\"\n", key_b, at(2))) << "names differ in case only";
    ASSERT_TRUE(store.add(" " + name, key_c, at(3))) << "names are not trimmed";
    ASSERT_EQ(store.signers.size(), 3u);
    EXPECT_EQ(store.signers[2].name, " " + name) << "appended at the end";

    const auto again = store.add(name, pubkey_hex(signing_key(10)), at(4));
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error(), "a trusted signer named \"team \\\"blue\\\"\\n\" already exists in this trust store");
}

// ---------------------------------------------------------------------- load

TEST(LoadTrustStore, AMissingStoreIsEmpty) {
    ScratchDir dir;
    const fs::path file = dir.write("file", "{\"signers\": []}");
    for (const fs::path& path : {dir / "missing.json", dir / "no/such/dir/store.json", file / "store.json"}) {
        const auto store = load_trust_store(path);
        ASSERT_TRUE(store) << path << ": " << store.error();
        EXPECT_TRUE(store->signers.empty());
    }
}

TEST(LoadTrustStore, AStoreThatCannotBeReadIsAnErrorNotAnEmptyStore) {
    ScratchDir dir;
    fs::create_directories(dir / "a-directory");
    fs::create_symlink(dir / "loop-b", dir / "loop-a");
    fs::create_symlink(dir / "loop-a", dir / "loop-b");
    const std::string long_name(300, 'n');
    struct Case {
        fs::path path;
        std::string error;
    };
    const Case cases[] = {
        {dir / "a-directory", "Is a directory (os error 21)"},
        {dir / "loop-a", "Too many levels of symbolic links (os error 40)"},
        {dir / long_name, "File name too long (os error 36)"},
        {dir.write("latin1.json", "{\"signers\": [], \"note\": \"caf\xe9\"}"), "stream did not contain valid UTF-8"},
    };
    for (const auto& c : cases) {
        const auto store = load_trust_store(c.path);
        ASSERT_FALSE(store) << c.path;
        EXPECT_EQ(store.error(), "reading " + c.path.string() + ": " + c.error);
    }
}

TEST(LoadTrustStore, ReadsTheFileAndRefusesMalformedOnes) {
    ScratchDir dir;
    const std::string label = "razavovivodidi::trust_store::TrustStore";
    const fs::path good = dir.write("good.json",
                                    "{\"signers\": [{\"name\": \"ops\", \"pubkey_hex\": \"not even hex\", "
                                    "\"added_at\": \"2026-01-02T03:04:05+01:00\", \"comment\": 1}], \"extra\": true}");
    const auto store = load_trust_store(good);
    ASSERT_TRUE(store) << store.error();
    ASSERT_EQ(store->signers.size(), 1u);
    EXPECT_EQ(store->signers[0].name, "ops");
    EXPECT_EQ(store->signers[0].pubkey_hex, "not even hex") << "stored keys are not validated on load";
    EXPECT_EQ(store->signers[0].added_at.to_rfc3339(), "2026-01-02T02:04:05Z");

    struct Case {
        std::string content;
        std::string error;
    };
    const Case cases[] = {
        {"{\"keys\": []}", "missing field `signers` at line 1 column 12"},
        {"{\"signers\": [{\"name\": \"ops\", \"pubkey_hex\": \"ab\"}]}", "missing field `added_at` at line 1 column 48"},
        {"", "EOF while parsing a value at line 1 column 0"},
    };
    for (const auto& c : cases) {
        const fs::path path = dir.write("bad.json", c.content);
        const auto bad = load_trust_store(path);
        ASSERT_FALSE(bad) << c.content;
        EXPECT_EQ(bad.error(), "parsing " + path.string() + " as " + label + ": " + c.error);
    }
}

// ------------------------------------------------------------ verification

PolicyRuleset ruleset_with(Decision effect) {
    PolicyRule rule;
    rule.rule_id = "production-needs-approval";
    rule.action = vorelcore_policy::action::PolicyActionId::deployment_promote();
    rule.effect = effect;
    PolicyRule fallback;
    fallback.rule_id = "default-deny";
    fallback.action = vorelcore_policy::action::PolicyActionId::deployment_promote();
    fallback.effect = Decision::Deny;
    PolicyRuleset ruleset;
    ruleset.ruleset_id = PolicyId::generate();
    ruleset.product_id = *ProductId::parse("voreldeploy");
    ruleset.version = 7;
    ruleset.rules = {rule, fallback};
    return ruleset;
}

SignedPolicyRuleset sign(const PolicyRuleset& ruleset, const SigningKey& key,
                         std::vector<std::string> context = vorelcore_policy::eval::ruleset_envelope_context()) {
    auto envelope = SignedPolicyRuleset::sign(ruleset, KeyId::generate(), at(1'800'000'000), key, std::move(context));
    EXPECT_TRUE(envelope);
    return *envelope;
}

TrustStore store_of(const std::vector<const SigningKey*>& keys) {
    TrustStore store;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_TRUE(store.add("signer-" + std::to_string(i), pubkey_hex(*keys[i]), at(1)));
    }
    return store;
}

class VerifySignedRuleset : public ::testing::Test {
protected:
    SigningKey first = signing_key(21);
    SigningKey second = signing_key(22);
    SigningKey third = signing_key(23);
    SigningKey stranger = signing_key(24);
    TrustStore three = store_of({&first, &second, &third});
    Timestamp now = at(1'800'000'100);
    PolicyRuleset ruleset = ruleset_with(Decision::RequireApproval);

    std::expected<vorelcore_policy::eval::VerifiedRuleset, std::string> verify(const SignedPolicyRuleset& envelope,
                                                                                const TrustStore& store) {
        return verify_signed_ruleset(envelope, store, now, vorelcore_policy::eval::ruleset_envelope_context());
    }
};

TEST_F(VerifySignedRuleset, AnyTrustedKeyInTheStoreIsAccepted) {
    for (const SigningKey* key : {&first, &second, &third}) {
        const auto verified = verify(sign(ruleset, *key), three);
        ASSERT_TRUE(verified) << verified.error();
        EXPECT_EQ(verified->ruleset(), ruleset);
    }
    // Stored keys are parsed as written; an upper-case hand edit still works.
    TrustStore edited = three;
    edited.signers[1].pubkey_hex = upper(edited.signers[1].pubkey_hex);
    EXPECT_TRUE(verify(sign(ruleset, second), edited));
}

TEST_F(VerifySignedRuleset, EveryUnverifiableEnvelopeGetsTheSameRefusal) {
    SignedPolicyRuleset tampered = sign(ruleset, second);
    tampered.payload.rules[0].effect = Decision::Allow;
    SignedPolicyRuleset expired = sign(ruleset, second);
    expired.expires_at = at(1'800'000'000);
    const SignedPolicyRuleset expired_and_resigned = [&] {
        SignedPolicyRuleset envelope = expired;
        envelope.signature = second.sign_bytes(*envelope.signing_bytes());
        return envelope;
    }();
    SignedPolicyRuleset wrong_version = sign(ruleset, second);
    wrong_version.format_version = 2;

    struct Case {
        const char* what;
        SignedPolicyRuleset envelope;
    };
    const Case cases[] = {
        {"tampered after signing", tampered},
        {"signed under the policy-bundle context",
         sign(ruleset, second, {"product:voreldeploy", "purpose:policy-bundle"})},
        {"signed by a key nobody trusted", sign(ruleset, stranger)},
        {"expired (and signed over its expiry)", expired_and_resigned},
        {"expiry added after signing", expired},
        {"another format version", wrong_version},
    };
    for (const auto& c : cases) {
        const auto verified = verify(c.envelope, three);
        ASSERT_FALSE(verified) << c.what;
        EXPECT_EQ(verified.error(), kEveryKey) << c.what;
    }
    // Still valid at exactly its expiry instant.
    now = at(1'800'000'000);
    EXPECT_TRUE(verify(expired_and_resigned, three));
}

TEST_F(VerifySignedRuleset, ASignedButStructurallyInvalidRulesetNamesTheRulesetError) {
    const PolicyRuleset warn = ruleset_with(Decision::Warn);
    const std::string expected =
        "ruleset is signed by a trusted key but fails its own structural validation: rule "
        "\"production-needs-approval\" declares effect Warn, which permits the action without reading as a grant "
        "\u2014 a rule that grants must use `allow`, so a ruleset cannot express permission in a form a reviewer "
        "would read as a warning";
    const auto verified = verify(sign(warn, third), three);
    ASSERT_FALSE(verified);
    EXPECT_EQ(verified.error(), expected);

    // The same ruleset signed by nobody trusted never reaches validation.
    const auto unsigned_one = verify(sign(warn, stranger), three);
    ASSERT_FALSE(unsigned_one);
    EXPECT_EQ(unsigned_one.error(), kEveryKey);
}

TEST_F(VerifySignedRuleset, AnEmptyStoreRefusesEvenAValidSignature) {
    const auto verified = verify(sign(ruleset, first), TrustStore{});
    ASSERT_FALSE(verified);
    EXPECT_EQ(verified.error(), kNoKeys);
}

TEST_F(VerifySignedRuleset, OneCorruptStoredKeyBlocksEveryRuleset) {
    struct Case {
        std::string stored;
        std::string error;
    };
    const std::string good = three.signers[2].pubkey_hex;
    const Case cases[] = {
        {good.substr(0, 62), "expected a 64-character hex Ed25519 public key, got 62 characters"},
        {" " + good.substr(1), "invalid hex in public key: \" " + good.substr(1, 1) + "\""},
        {std::string(64, 'f'), kNotAPoint},
    };
    for (const auto& c : cases) {
        TrustStore store = three;
        store.signers[2].pubkey_hex = c.stored;  // the last entry: the signing key comes earlier
        const auto verified = verify(sign(ruleset, first), store);
        ASSERT_FALSE(verified) << c.stored;
        EXPECT_EQ(verified.error(), c.error);
    }
}

// ----------------------------------------------------------- from the files

TEST(VerifyRulesetFile, ReadsTheRulesetFirstThenTheStore) {
    ScratchDir dir;
    const SigningKey key = signing_key(31);
    const PolicyRuleset ruleset = ruleset_with(Decision::Deny);
    const Timestamp now = at(1'800'000'100);
    const fs::path signed_path = dir.write("signed.json", vorelcore_json::to_pretty(sign(ruleset, key)));
    const std::string bare = vorelcore_json::to_pretty(ruleset);
    const fs::path bare_path = dir.write("bare.json", bare);
    const auto bare_lines = std::count(bare.begin(), bare.end(), '\n') + 1;
    const fs::path store_path = dir.write("store.json", vorelcore_json::to_pretty(store_of({&key})));
    const fs::path missing = dir / "missing.json";
    fs::create_directories(dir / "a-directory");

    const auto accepted = verify_ruleset_file(signed_path, store_path, now);
    ASSERT_TRUE(accepted) << accepted.error();
    EXPECT_EQ(accepted->ruleset(), ruleset);

    struct Case {
        const char* what;
        fs::path ruleset;
        fs::path store;
        std::string error;
    };
    const Case cases[] = {
        {"a bad ruleset path is reported before a bad store", missing, dir / "a-directory",
         "reading " + missing.string() + ": No such file or directory (os error 2)"},
        {"an unsigned ruleset", bare_path, store_path,
         "parsing " + bare_path.string() +
             " as vorelcore_crypto::envelope::SignedEnvelope<vorelcore_policy::eval::PolicyRuleset>: "
             "missing field `format_version` at line " + std::to_string(bare_lines) + " column 1"},
        {"a missing store is an empty store", signed_path, missing, kNoKeys},
        {"a store that cannot be read", signed_path, dir / "a-directory",
         "reading " + (dir / "a-directory").string() + ": Is a directory (os error 21)"},
    };
    for (const auto& c : cases) {
        const auto verified = verify_ruleset_file(c.ruleset, c.store, now);
        ASSERT_FALSE(verified) << c.what;
        EXPECT_EQ(verified.error(), c.error) << c.what;
    }
}

}  // namespace
}  // namespace razavovivodidi::trust_store
