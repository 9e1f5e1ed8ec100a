#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/eval.hpp"

namespace vorelcore_policy::eval {
namespace {

using decision::Decision;
using testing::action_id;
using testing::product;
using testing::rule;
using testing::ruleset;
using E = PolicyRulesetError;

TEST(PolicyRulesetError, EveryVariantHasItsExactDisplayText) {
    struct Case {
        PolicyRulesetError error;
        E::Kind kind;
        std::string message;
    };
    const Case cases[] = {
        {E::EmptyRuleId{3}, E::Kind::EmptyRuleId, "rule at index 3 has an empty rule_id"},
        {E::DuplicateRuleId{"allow-ci"}, E::Kind::DuplicateRuleId,
         "duplicate rule_id \"allow-ci\" \u2014 rule ids must be unique within a ruleset"},
        {E::DuplicateRuleId{"a \"q\"\n"}, E::Kind::DuplicateRuleId,
         "duplicate rule_id \"a \\\"q\\\"\\n\" \u2014 rule ids must be unique within a ruleset"},
        {E::ActionProductMismatch{"r1", "otherprod:deployment.promote", product("voreldeploy")},
         E::Kind::ActionProductMismatch,
         "rule \"r1\" targets action otherprod:deployment.promote, whose product does not match this ruleset's own "
         "product voreldeploy \u2014 a ruleset must not govern another product's actions"},
        {E::EmptyOneOf{"r1", "region"}, E::Kind::EmptyOneOf,
         "rule \"r1\" has an empty `one_of` condition on key \"region\", which could never match anything"},
        {E::InvertedRange{"r1", "approvals", 5, 4}, E::Kind::InvertedRange,
         "rule \"r1\" has an inverted range on key \"approvals\": min 5 > max 4, so it could never match anything"},
        {E::InvertedRange{"r1", "k", 0, -9223372036854775807 - 1}, E::Kind::InvertedRange,
         "rule \"r1\" has an inverted range on key \"k\": min 0 > max -9223372036854775808, so it could never "
         "match anything"},
        {E::PermittingEffectNotAllowed{"soft", Decision::Warn}, E::Kind::PermittingEffectNotAllowed,
         "rule \"soft\" declares effect Warn, which permits the action without reading as a grant \u2014 a rule "
         "that grants must use `allow`, so a ruleset cannot express permission in a form a reviewer would read as "
         "a warning"},
        {E::ZeroDecisionTtl{}, E::Kind::ZeroDecisionTtl,
         "ruleset sets decision_ttl_seconds to 0, so every decision would expire the moment it was issued \u2014 "
         "omit the field to mean \"no expiry\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.error.kind(), c.kind);
        EXPECT_EQ(c.error.message(), c.message);
    }
    EXPECT_TRUE(PolicyRulesetError(E::ZeroDecisionTtl{}).is<E::ZeroDecisionTtl>());
    EXPECT_FALSE(PolicyRulesetError(E::EmptyRuleId{0}).is<E::ZeroDecisionTtl>());
    EXPECT_NE(PolicyRulesetError(E::EmptyRuleId{0}), PolicyRulesetError(E::EmptyRuleId{1}));
}

PolicyRule with_facts(PolicyRule r, std::map<std::string, PolicyCondition> facts,
                      std::map<std::string, PolicyCondition> context = {}) {
    r.facts = std::move(facts);
    r.context = std::move(context);
    return r;
}

PolicyRule with_action(PolicyRule r, std::string_view action) {
    r.action = action_id(action);
    return r;
}

TEST(PolicyRulesetValidate, ChecksRunInOrderAndTheFirstFailureIsReturned) {
    struct Case {
        const char* name;
        PolicyRuleset ruleset;
        std::optional<PolicyRulesetError> error;  // empty: valid
    };
    const Case cases[] = {
        {"no rules", ruleset({}), std::nullopt},
        {"one allow rule with a one-second ttl", ruleset({rule("a")}, 1), std::nullopt},
        {"zero ttl before a duplicate id", ruleset({rule("a"), rule("a")}, 0), E::ZeroDecisionTtl{}},
        {"zero ttl with no rules", ruleset({}, 0), E::ZeroDecisionTtl{}},
        {"empty id", ruleset({rule("")}), E::EmptyRuleId{0}},
        {"space id at index 1", ruleset({rule("a"), rule(" ")}), E::EmptyRuleId{1}},
        {"tabs and newlines", ruleset({rule("\t\r\n\v\f")}), E::EmptyRuleId{0}},
        {"ideographic space", ruleset({rule("\u3000")}), E::EmptyRuleId{0}},
        {"no-break space", ruleset({rule("\u00a0")}), E::EmptyRuleId{0}},
        {"line separator and en quad", ruleset({rule("\u2028\u2000 \u0085")}), E::EmptyRuleId{0}},
        {"zero-width space is not white space", ruleset({rule("\u200b")}), std::nullopt},
        {"invalid utf-8 is not white space", ruleset({rule("\xa0")}), std::nullopt},
        {"blank ids are refused before they are compared", ruleset({rule(" "), rule(" ")}), E::EmptyRuleId{0}},
        {"ids differing by a trailing space", ruleset({rule("a"), rule("a ")}), std::nullopt},
        {"ids differing by case", ruleset({rule("a"), rule("A")}), std::nullopt},
        {"duplicate id", ruleset({rule("a"), rule("b"), rule("a", Decision::Deny)}), E::DuplicateRuleId{"a"}},
        {"action of another product",
         ruleset({with_action(rule("r1"), "otherprod:deployment.promote")}),
         E::ActionProductMismatch{"r1", "otherprod:deployment.promote", product("voreldeploy")}},
        {"duplicate before product mismatch",
         ruleset({rule("r1"), with_action(rule("r1"), "otherprod:x")}), E::DuplicateRuleId{"r1"}},
        {"warn", ruleset({rule("soft", Decision::Warn)}), E::PermittingEffectNotAllowed{"soft", Decision::Warn}},
        {"product mismatch before warn",
         ruleset({with_action(rule("r1", Decision::Warn), "otherprod:x")}),
         E::ActionProductMismatch{"r1", "otherprod:x", product("voreldeploy")}},
        {"warn before conditions",
         ruleset({with_facts(rule("r1", Decision::Warn), {{"k", OneOf{}}})}),
         E::PermittingEffectNotAllowed{"r1", Decision::Warn}},
        {"earlier rule's late check before a later rule's early check",
         ruleset({rule("r1", Decision::Warn), rule("")}), E::PermittingEffectNotAllowed{"r1", Decision::Warn}},
        {"empty one_of in facts", ruleset({with_facts(rule("r1"), {{"region", OneOf{}}})}),
         E::EmptyOneOf{"r1", "region"}},
        {"empty one_of in context", ruleset({with_facts(rule("r1"), {}, {{"ticket", OneOf{}}})}),
         E::EmptyOneOf{"r1", "ticket"}},
        {"in_range min equal to max", ruleset({with_facts(rule("r1"), {{"n", InRange{5, 5}}})}), std::nullopt},
        {"in_range max one below min", ruleset({with_facts(rule("r1"), {{"n", InRange{5, 4}}})}),
         E::InvertedRange{"r1", "n", 5, 4}},
        {"facts before context",
         ruleset({with_facts(rule("r1"), {{"z", InRange{2, 1}}}, {{"a", OneOf{}}})}),
         E::InvertedRange{"r1", "z", 2, 1}},
        {"facts in key order",
         ruleset({with_facts(rule("r1"), {{"b", OneOf{}}, {"a", InRange{9, 0}}})}),
         E::InvertedRange{"r1", "a", 9, 0}},
        {"non-empty one_of and other ops pass",
         ruleset({with_facts(rule("r1"), {{"a", OneOf{{""}}}, {"b", AtLeast{9}}, {"c", AtMost{-9}}, {"d", Absent{}}},
                             {{"e", Equals{""}}, {"f", NotEquals{""}}, {"g", Present{}}})}),
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto valid = c.ruleset.validate();
        if (!c.error) {
            EXPECT_TRUE(valid) << valid.error();
        } else {
            ASSERT_FALSE(valid);
            EXPECT_EQ(valid.error(), *c.error) << valid.error();
        }
    }
}

TEST(PolicyRulesetValidate, OnlyWarnIsRefusedAmongEffects) {
    for (const auto& entry : vorelcore_json::EnumTable<Decision>::entries) {
        SCOPED_TRACE(entry.json);
        auto valid = ruleset({rule("r1", entry.value)}).validate();
        EXPECT_EQ(valid.has_value(), entry.value != Decision::Warn);
    }
}

TEST(VerifiedRuleset, VerifyKeepsTheRulesetOrPassesTheValidationError) {
    const PolicyRuleset good = ruleset({rule("a"), rule("b", Decision::Deny)}, 300);
    auto verified = PolicyRuleset(good).verify();
    ASSERT_TRUE(verified) << verified.error();
    EXPECT_EQ(verified->ruleset(), good);

    auto refused = ruleset({rule("a"), rule("a")}).verify();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), E::DuplicateRuleId{"a"});
}

TEST(VerifiedRuleset, CreateBuildsARulesetWithoutTtlAndValidatesIt) {
    const auto id = testing::uuid<vorelcore_contracts::ids::PolicyId>("11111111-2222-4333-8444-555555555555");
    auto made = VerifiedRuleset::create(id, product("voreldeploy"), 3, {rule("a"), rule("b")});
    ASSERT_TRUE(made) << made.error();
    EXPECT_EQ(made->ruleset().ruleset_id, id);
    EXPECT_EQ(made->ruleset().product_id, product("voreldeploy"));
    EXPECT_EQ(made->ruleset().version, 3u);
    EXPECT_EQ(made->ruleset().rules, (std::vector<PolicyRule>{rule("a"), rule("b")}));
    EXPECT_EQ(made->ruleset().decision_ttl_seconds, std::nullopt);

    auto duplicate = VerifiedRuleset::create(id, product("voreldeploy"), 3, {rule("a"), rule("a")});
    ASSERT_FALSE(duplicate);
    EXPECT_EQ(duplicate.error(), E::DuplicateRuleId{"a"});

    auto foreign = VerifiedRuleset::create(id, product("otherprod"), 3, {rule("a")});
    ASSERT_FALSE(foreign);
    EXPECT_TRUE(foreign.error().is<E::ActionProductMismatch>());
}

// ------------------------------------------------------------------ JSON

TEST(PolicyRuleJson, WritesMembersInOrderAndOmitsAbsentAndEmptyOnes) {
    PolicyRule full = rule("allow-ci");
    full.rule_name = "CI may promote";
    full.actor_type = input::PolicyActorType::FederationPeer;
    full.resource_type = "environment";
    full.facts = {{"region", OneOf{{"eu-west"}}}, {"approvals", AtLeast{2}}};
    full.context = {{"ticket", Present{}}};
    full.effect = Decision::RequireApproval;

    struct Case {
        PolicyRule rule;
        const char* text;
    };
    const Case cases[] = {
        {full, R"({
  "rule_id": "allow-ci",
  "rule_name": "CI may promote",
  "action": "voreldeploy:deployment.promote",
  "actor_type": "federation_peer",
  "resource_type": "environment",
  "facts": {
    "approvals": {
      "op": "at_least",
      "min": 2
    },
    "region": {
      "op": "one_of",
      "values": [
        "eu-west"
      ]
    }
  },
  "context": {
    "ticket": {
      "op": "present"
    }
  },
  "effect": "require_approval"
})"},
        {rule("bare", Decision::NotApplicable), R"({
  "rule_id": "bare",
  "action": "voreldeploy:deployment.promote",
  "effect": "not_applicable"
})"},
        {with_facts(rule("ctx-only", Decision::Deny), {}, {{"Z", Absent{}}, {"a", Equals{"x"}}}), R"({
  "rule_id": "ctx-only",
  "action": "voreldeploy:deployment.promote",
  "context": {
    "Z": {
      "op": "absent"
    },
    "a": {
      "op": "equals",
      "value": "x"
    }
  },
  "effect": "deny"
})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule.rule_id);
        EXPECT_EQ(vorelcore_json::to_pretty(c.rule), c.text);
        auto read = vorelcore_json::from_text<PolicyRule>(c.text);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, c.rule);
    }
}

TEST(PolicyRuleJson, ReadsOptionalMembersAsAbsentWhenNullOrMissingAndIgnoresUnknownOnes) {
    auto read = vorelcore_json::from_text<PolicyRule>(R"({
  "effect": "deny", "rule_name": null, "actor_type": null, "resource_type": null,
  "comment": {"anything": [1, 2]}, "action": "voreldeploy:rollback.promote", "rule_id": "r"
})");
    ASSERT_TRUE(read) << read.error();
    PolicyRule expected = with_action(rule("r", Decision::Deny), "voreldeploy:rollback.promote");
    EXPECT_EQ(*read, expected);
}

TEST(PolicyRuleJson, FaultsMakeTheRuleUnreadable) {
    struct Case {
        const char* text;
        std::string message;
    };
    const Case cases[] = {
        {R"({"rule_id": "r", "action": "voreldeploy:deployment.promote"})", "missing field `effect` at line 1 column 60"},
        {R"({"rule_id": "r", "effect": "allow"})", "missing field `action` at line 1 column 35"},
        {R"({"rule_id": "r", "action": "voreldeploy", "effect": "allow"})",
         "validation failed: policy action id \"voreldeploy\" must be \"<product>:<action.path>\" at line 1 column 40"},
        {R"({"rule_id": "r", "action": "voreldeploy:a.b.c.d.e.f.g", "effect": "allow"})",
         "validation failed: policy action id must have at most 6 path segments, got 7 at line 1 column 54"},
        {R"({"rule_id": "r", "action": "voreldeploy:x", "effect": "Allow"})",
         "unknown variant `Allow`, expected one of `allow`, `deny`, `warn`, `require_approval`, "
         "`require_reauthentication`, `require_exception`, `pass`, `fail`, `not_applicable`, `unknown` at line 1 "
         "column 61"},
        {R"({"rule_id": "r", "action": "voreldeploy:x", "effect": "deny", "actor_type": "robot"})",
         "unknown variant `robot`, expected one of `user`, `administrator`, `device`, `service`, `product`, "
         "`federation_peer`, `system`, `unknown` at line 1 column 83"},
        {R"({"rule_id": "r", "action": "voreldeploy:x", "effect": "deny", "facts": {"a": {"op": "present"}, "a": {"op": "absent"}}})",
         "duplicate field `a` at line 1 column 99"},
        {R"({"rule_id": "r", "action": "voreldeploy:x", "effect": "deny", "facts": []})",
         "invalid type: sequence, expected a map at line 1 column 73"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto read = vorelcore_json::from_text<PolicyRule>(c.text);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error(), c.message);
    }
}

TEST(PolicyRulesetJson, RoundTripsWithMemberOrderAndOptionalTtl) {
    PolicyRuleset with_ttl = ruleset({rule("b-first", Decision::Deny), rule("a-second")}, 4294967295u);
    const char* with_ttl_text = R"({
  "ruleset_id": "6a3f1c2e-9b4d-4e8f-a1c3-5d7e9f0b2a41",
  "product_id": "voreldeploy",
  "version": 7,
  "rules": [
    {
      "rule_id": "b-first",
      "action": "voreldeploy:deployment.promote",
      "effect": "deny"
    },
    {
      "rule_id": "a-second",
      "action": "voreldeploy:deployment.promote",
      "effect": "allow"
    }
  ],
  "decision_ttl_seconds": 4294967295
})";
    const char* empty_text = R"({
  "ruleset_id": "6a3f1c2e-9b4d-4e8f-a1c3-5d7e9f0b2a41",
  "product_id": "voreldeploy",
  "version": 7,
  "rules": []
})";
    struct Case {
        PolicyRuleset ruleset;
        const char* text;
    };
    const Case cases[] = {{with_ttl, with_ttl_text}, {ruleset({}), empty_text}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(vorelcore_json::to_pretty(c.ruleset), c.text);
        auto read = vorelcore_json::from_text<PolicyRuleset>(c.text);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, c.ruleset);
    }
}

TEST(PolicyRulesetJson, FaultsMakeTheRulesetUnreadable) {
    const std::string head =
        R"({"ruleset_id": "6a3f1c2e-9b4d-4e8f-a1c3-5d7e9f0b2a41", "product_id": "voreldeploy", "version": 1, )";
    struct Case {
        std::string tail;
        std::string message;  // without the position
    };
    const Case cases[] = {
        {R"("rules": [{"rule_id": "r", "action": "voreldeploy:Deploy", "effect": "allow"}]})",
         "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens"},
        {R"("decision_ttl_seconds": 5})", "missing field `rules`"},
        {R"("rules": [], "decision_ttl_seconds": 4294967296})",
         "invalid value: integer `4294967296`, expected u32"},
        {R"("rules": [], "decision_ttl_seconds": -1})", "invalid value: integer `-1`, expected u32"},
        {R"("rules": {}})", "invalid type: map, expected a sequence"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        auto read = vorelcore_json::from_text<PolicyRuleset>(head + c.tail);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().substr(0, c.message.size()), c.message);
        EXPECT_EQ(read.error().find(" at line 1 column "), c.message.size());
    }

    // Reading does not validate: a zero TTL reads, and validation refuses it.
    auto zero = vorelcore_json::from_text<PolicyRuleset>(head + R"("rules": [], "decision_ttl_seconds": 0})");
    ASSERT_TRUE(zero) << zero.error();
    EXPECT_EQ(zero->decision_ttl_seconds, 0u);
    EXPECT_EQ(zero->validate().error(), E::ZeroDecisionTtl{});
    auto null_ttl = vorelcore_json::from_text<PolicyRuleset>(head + R"("rules": [], "decision_ttl_seconds": null})");
    ASSERT_TRUE(null_ttl) << null_ttl.error();
    EXPECT_EQ(null_ttl->decision_ttl_seconds, std::nullopt);
}

// --------------------------------------------------------- signed rulesets

TEST(SignedPolicyRuleset, ContextIsFixedAndTheEnvelopeCarriesTheRulesetBothWays) {
    EXPECT_EQ(ruleset_envelope_context(), (std::vector<std::string>{"product:voreldeploy", "purpose:policy-ruleset"}));

    std::array<std::uint8_t, 32> seed{};
    seed.fill(7);
    const auto key = vorelcore_crypto::keys::SigningKey::from_bytes(seed);
    const auto now = testing::at("2026-03-01T12:00:00Z");
    auto signed_ruleset = SignedPolicyRuleset::sign(ruleset({rule("a")}, 60), vorelcore_contracts::ids::KeyId::generate(),
                                                    now, key, ruleset_envelope_context());
    ASSERT_TRUE(signed_ruleset) << signed_ruleset.error();

    auto read = vorelcore_json::from_text<SignedPolicyRuleset>(vorelcore_json::to_pretty(*signed_ruleset));
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(read->verify(key.verifying_key(), now, ruleset_envelope_context()));
    auto verified = PolicyRuleset(read->payload).verify();
    ASSERT_TRUE(verified) << verified.error();
    EXPECT_EQ(verified->ruleset(), ruleset({rule("a")}, 60));

    // A changed effect breaks the signature.
    read->payload.rules[0].effect = Decision::Deny;
    EXPECT_FALSE(read->verify(key.verifying_key(), now, ruleset_envelope_context()));
}

}  // namespace
}  // namespace vorelcore_policy::eval
