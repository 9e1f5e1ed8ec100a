// verify_bundle: trust first, then the envelope, then structure.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/write.hpp"
#include "vorelpolicy_bundle/verify.hpp"

namespace vorelpolicy_bundle::verify {
namespace {

using bundle::PolicyBundleBody;
using bundle::SignedPolicyBundle;
using testing::at;
using testing::body_from;
using testing::kBundleContext;
using testing::kFullBody;
using testing::resign;
using testing::sign;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::KeyStatus;
using vorelcore_crypto::keys::SigningKey;

const std::string kUntrusted = "bundle is signed by an untrusted key, or a key whose status no longer verifies";
const std::string kBadSignature = "envelope verification failed: signature verification failed";

class VerifyBundle : public ::testing::Test {
protected:
    SigningKey signer = SigningKey::from_bytes({1, 1, 1});
    SigningKey other = SigningKey::from_bytes({2, 2, 2});
    KeyId signer_id = KeyId::generate();
    Timestamp now = at("2026-12-02T00:00:00Z");

    TrustStore trusting(KeyStatus status) const {
        TrustStore store;
        store.trust_key(KeyId::generate(), other.verifying_key(), KeyStatus::Active);
        store.trust_key(signer_id, signer.verifying_key(), status);
        return store;
    }

    // The message of the refusal, or nullopt when the bundle verified.
    std::optional<std::string> refusal(const SignedPolicyBundle& envelope, const TrustStore& store,
                                       const std::vector<std::string>& context = kBundleContext) const {
        auto verified = verify_bundle(envelope, store, now, context);
        if (verified) return std::nullopt;
        return verified.error().message();
    }
};

TEST_F(VerifyBundle, ASoundBundleFromATrustedSignerComesBackWithItsRulesetVerified) {
    const PolicyBundleBody body = body_from(kFullBody);
    const SignedPolicyBundle envelope = sign(body, signer_id, signer);
    auto verified = verify_bundle(envelope, trusting(KeyStatus::Active), now, kBundleContext);
    ASSERT_TRUE(verified) << verified.error();
    EXPECT_EQ(verified->body, body);
    EXPECT_EQ(verified->ruleset.ruleset(), body.ruleset);
}

TEST_F(VerifyBundle, TheSignersStatusDecidesBeforeItsSignature) {
    const SignedPolicyBundle envelope = sign(body_from(kFullBody), signer_id, signer);
    struct Case {
        KeyStatus status;
        bool verifies;
    };
    const Case cases[] = {
        {KeyStatus::Active, true},     {KeyStatus::Rotating, true},     {KeyStatus::Deprecated, true},
        {KeyStatus::Revoked, false},   {KeyStatus::Compromised, false}, {KeyStatus::Destroyed, false},
    };
    for (const Case& c : cases) {
        const auto error = refusal(envelope, trusting(c.status));
        if (c.verifies) {
            EXPECT_FALSE(error) << vorelcore_json::json_name(c.status) << ": " << *error;
        } else {
            EXPECT_EQ(error, kUntrusted) << vorelcore_json::json_name(c.status);
        }
    }
}

TEST_F(VerifyBundle, TrustIsLookedUpByKeyIdOnly) {
    const SignedPolicyBundle envelope = sign(body_from(kFullBody), signer_id, signer);
    SignedPolicyBundle expired = envelope;
    expired.expires_at = at("2026-12-01T00:00:00Z");
    resign(expired, signer);

    TrustStore empty;
    TrustStore other_id;  // the right key, filed under another id
    other_id.trust_key(KeyId::generate(), signer.verifying_key(), KeyStatus::Active);
    TrustStore wrong_key;  // the signer's id, another key
    wrong_key.trust_key(signer_id, other.verifying_key(), KeyStatus::Active);

    struct Case {
        const char* name;
        const SignedPolicyBundle& envelope;
        const TrustStore& store;
        std::string error;
    };
    const Case cases[] = {
        {"empty trust set", envelope, empty, kUntrusted},
        {"key known under another id", envelope, other_id, kUntrusted},
        {"untrusted and expired: untrusted wins", expired, empty, kUntrusted},
        {"id known, key differs", envelope, wrong_key, kBadSignature},
        {"trusted but expired", expired, trusting(KeyStatus::Active),
         "envelope verification failed: envelope expired at 2026-12-01T00:00:00Z"},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(c.envelope, c.store), c.error) << c.name;
}

TEST_F(VerifyBundle, AlteringAnyPayloadMemberBreaksTheSignature) {
    const SignedPolicyBundle envelope = sign(body_from(kFullBody), signer_id, signer);
    const std::vector<std::pair<const char*, std::function<void(PolicyBundleBody&)>>> changes{
        {"pack_name", [](PolicyBundleBody& b) { b.pack_name += "x"; }},
        {"workspace_id removed", [](PolicyBundleBody& b) { b.workspace_id.reset(); }},
        {"previous_version removed", [](PolicyBundleBody& b) { b.previous_version.reset(); }},
        {"publisher", [](PolicyBundleBody& b) { b.publisher = "someone-else"; }},
        {"created_at", [](PolicyBundleBody& b) { b.created_at = at("2026-12-01T09:00:01Z"); }},
        {"ruleset version", [](PolicyBundleBody& b) { b.ruleset.version += 1; }},
        {"rule effect", [](PolicyBundleBody& b) { b.ruleset.rules[0].effect = vorelcore_policy::decision::Decision::Deny; }},
        {"rule_meta remediation", [](PolicyBundleBody& b) { b.rule_meta.at("ticket").remediation.clear(); }},
        {"control category",
         [](PolicyBundleBody& b) { b.controls[0].category = vorelpolicy_contracts::controls::ControlCategory::Audit; }},
        {"tests removed", [](PolicyBundleBody& b) { b.tests.clear(); }},
        {"test expect_rule removed", [](PolicyBundleBody& b) { b.tests[0].expect_rule.reset(); }},
        {"test input fact", [](PolicyBundleBody& b) { b.tests[0].input.facts.clear(); }},
    };
    const TrustStore store = trusting(KeyStatus::Active);
    for (const auto& [name, change] : changes) {
        SignedPolicyBundle altered = envelope;
        change(altered.payload);
        EXPECT_EQ(refusal(altered, store), kBadSignature) << name;
    }
}

TEST_F(VerifyBundle, EnvelopeChecksReportTheCoreErrorText) {
    const SignedPolicyBundle envelope = sign(body_from(kFullBody), signer_id, signer);
    SignedPolicyBundle version_two = envelope;
    version_two.format_version = 2;
    resign(version_two, signer);
    const SignedPolicyBundle ruleset_context =
        sign(body_from(kFullBody), signer_id, signer, {"product:voreldeploy", "purpose:policy-ruleset"});
    const std::string context_error =
        "envelope verification failed: validation failed: envelope associated data does not match the expected "
        "context";
    const TrustStore store = trusting(KeyStatus::Active);

    EXPECT_EQ(refusal(envelope, store, {"purpose:policy-bundle", "product:voreldeploy"}), context_error);
    EXPECT_EQ(refusal(envelope, store, {"product:voreldeploy"}), context_error);
    EXPECT_EQ(refusal(ruleset_context, store), context_error);
    EXPECT_EQ(refusal(version_two, store),
              "envelope verification failed: unsupported contract version: 2 (supported 1..=1)");
}

TEST_F(VerifyBundle, StillValidAtTheExpiryInstantAndNotOneSecondLater) {
    SignedPolicyBundle envelope = sign(body_from(kFullBody), signer_id, signer);
    envelope.expires_at = now;
    resign(envelope, signer);
    const TrustStore store = trusting(KeyStatus::Active);
    EXPECT_TRUE(verify_bundle(envelope, store, now, kBundleContext));
    auto later = Timestamp::from_unix(now.unix_seconds() + 1, 0);
    ASSERT_TRUE(later);
    auto refused = verify_bundle(envelope, store, *later, kBundleContext);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message(), "envelope verification failed: envelope expired at 2026-12-02T00:00:00Z");
}

TEST_F(VerifyBundle, StructureIsCheckedOnlyAfterTheSignature) {
    PolicyBundleBody body = body_from(kFullBody);
    body.ruleset.rules[0].effect = vorelcore_policy::decision::Decision::Warn;
    const SignedPolicyBundle envelope = sign(body, signer_id, signer);
    auto expected = vorelcore_policy::eval::PolicyRuleset(body.ruleset).verify();
    ASSERT_FALSE(expected);

    auto refused = verify_bundle(envelope, trusting(KeyStatus::Active), now, kBundleContext);
    ASSERT_FALSE(refused);
    ASSERT_EQ(refused.error().kind(), BundleError::Kind::Ruleset);
    EXPECT_EQ(refused.error().get_if<BundleError::Ruleset>()->error, expected.error());
    EXPECT_EQ(refused.error().message(), "ruleset failed structural validation: " + expected.error().message());

    SignedPolicyBundle tampered = envelope;
    tampered.payload.publisher = "tampered";
    EXPECT_EQ(refusal(tampered, trusting(KeyStatus::Active)), kBadSignature);
    EXPECT_EQ(refusal(envelope, TrustStore{}), kUntrusted);
}

TEST_F(VerifyBundle, ThePacksOwnTestsAreNotEvaluated) {
    PolicyBundleBody body = body_from(kFullBody);
    body.tests[0].expected_decision = vorelcore_policy::decision::Decision::Deny;  // the ruleset allows
    body.tests[0].expect_rule = "no-such-rule";
    EXPECT_EQ(refusal(sign(body, signer_id, signer), trusting(KeyStatus::Active)), std::nullopt);
}

// The publisher signs the completely written body; its JSON may still leave
// optional members out. What counts is what the signature covered.
TEST_F(VerifyBundle, OmittedOptionalMembersVerifyOnlyWhenTheCompleteFormWasSigned) {
    PolicyBundleBody body = body_from(kFullBody);
    body.tests.clear();
    body.rule_meta.clear();
    body.workspace_id.reset();
    body.previous_version.reset();
    const SignedPolicyBundle signed_complete = sign(body, signer_id, signer);

    // The same envelope as a publisher might write it: the optional members left out.
    auto document = vorelcore_json::to_value(signed_complete);
    vorelcore_json::Object* payload = nullptr;
    for (auto& m : *document.as_object()) {
        if (m.key == "payload") payload = m.value.as_object();
    }
    ASSERT_NE(payload, nullptr);
    std::erase_if(*payload, [](const vorelcore_json::Member& m) {
        return m.key == "tests" || m.key == "rule_meta" || m.key == "workspace_id" || m.key == "previous_version";
    });
    const std::string sparse_text = vorelcore_json::write_pretty(document);
    ASSERT_EQ(sparse_text.find("\"tests\""), std::string::npos);
    auto sparse = vorelcore_json::from_text<SignedPolicyBundle>(sparse_text);
    ASSERT_TRUE(sparse) << sparse.error();
    const TrustStore store = trusting(KeyStatus::Active);
    EXPECT_EQ(refusal(*sparse, store), std::nullopt);

    // A publisher that signed the body without its `tests` member signed
    // something else than what is verified.
    auto signing_body = vorelcore_json::to_value(signed_complete);
    auto& members = *signing_body.as_object();
    std::erase_if(members, [](const vorelcore_json::Member& m) { return m.key == "signature"; });
    for (auto& m : members) {
        if (m.key == "payload") {
            std::erase_if(*m.value.as_object(), [](const vorelcore_json::Member& p) { return p.key == "tests"; });
        }
    }
    vorelcore_json::push_member(members, "expires_at", vorelcore_json::Value());
    vorelcore_json::push_member(members, "previous_hash", vorelcore_json::Value());
    auto bytes = vorelcore_crypto::canonical::canonical_value_bytes(signing_body);
    ASSERT_TRUE(bytes);
    SignedPolicyBundle signed_without_tests = *sparse;
    signed_without_tests.signature = signer.sign_bytes(*bytes);
    EXPECT_EQ(refusal(signed_without_tests, store), kBadSignature);
}

TEST(TrustStore, OneEntryPerKeyIdTheLatestWins) {
    const SigningKey first = SigningKey::from_bytes({3});
    const SigningKey second = SigningKey::from_bytes({4});
    const KeyId id = KeyId::generate();
    TrustStore store;
    EXPECT_TRUE(store.empty());
    store.trust_key(id, first.verifying_key(), KeyStatus::Active);
    store.trust_key(id, second.verifying_key(), KeyStatus::Revoked);
    store.trust_key(KeyId::generate(), first.verifying_key(), KeyStatus::Active);
    EXPECT_EQ(store.size(), 2U);
    const TrustedKey* entry = store.find(id);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->key, second.verifying_key());
    EXPECT_EQ(entry->status, KeyStatus::Revoked);
    EXPECT_EQ(store.find(KeyId::generate()), nullptr);
}

TEST(TrustStore, EntriesAreOrderedByTheKeyIdBytes) {
    const SigningKey key = SigningKey::from_bytes({5});
    TrustStore store;
    for (const char* id : {"ff000000-0000-4000-8000-000000000000", "00000000-0000-4000-8000-000000000001",
                           "0a000000-0000-4000-8000-000000000000"}) {
        store.trust_key(*KeyId::parse(id), key.verifying_key(), KeyStatus::Active);
    }
    std::vector<std::string> order;
    for (const auto& [id, entry] : store.entries()) order.push_back(id.to_string());
    EXPECT_EQ(order, (std::vector<std::string>{"00000000-0000-4000-8000-000000000001",
                                               "0a000000-0000-4000-8000-000000000000",
                                               "ff000000-0000-4000-8000-000000000000"}));
}

TEST(BundleError, DisplayTexts) {
    const vorelcore_policy::eval::PolicyRulesetError zero_ttl = vorelcore_policy::eval::PolicyRulesetError::ZeroDecisionTtl{};
    EXPECT_EQ(BundleError(BundleError::UntrustedKey{}).message(), kUntrusted);
    EXPECT_EQ(BundleError(BundleError::Envelope{"signature verification failed"}).message(), kBadSignature);
    EXPECT_EQ(BundleError(BundleError::Ruleset{zero_ttl}).message(),
              "ruleset failed structural validation: " + zero_ttl.message());
}

}  // namespace
}  // namespace vorelpolicy_bundle::verify
