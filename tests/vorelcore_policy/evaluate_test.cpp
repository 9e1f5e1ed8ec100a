#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.hpp"
#include "vorelcore_policy/eval.hpp"

namespace vorelcore_policy::eval {
namespace {

using decision::Decision;
using decision::MatchedRule;
using decision::PolicyDecision;
using decision::PolicySeverity;
using input::PolicyActorType;
using testing::action_id;
using testing::at;
using testing::promote_input;
using testing::rule;
using vorelcore_error::CoreError;

const std::string kRulesetLabel = "6a3f1c2e-9b4d-4e8f-a1c3-5d7e9f0b2a41 v7";
const std::string kNoMatch =
    "no rule in ruleset " + kRulesetLabel + " matched action voreldeploy:deployment.promote for this input";

VerifiedRuleset verified(std::vector<PolicyRule> rules, std::optional<std::uint32_t> ttl = std::nullopt) {
    auto out = testing::ruleset(std::move(rules), ttl).verify();
    EXPECT_TRUE(out) << out.error();
    return std::move(*out);
}

PolicyDecision decide(const VerifiedRuleset& ruleset, const input::PolicyInput& in,
                      std::string_view action = "voreldeploy:deployment.promote",
                      std::string_view now = "2026-03-01T12:00:00Z") {
    auto out = evaluate(ruleset, in, action_id(action), at(now));
    EXPECT_TRUE(out) << out.error();
    return out ? std::move(*out) : PolicyDecision{};
}

PolicyRule named(PolicyRule r, std::string name) {
    r.rule_name = std::move(name);
    return r;
}

TEST(Evaluate, TheFirstMatchingRuleDecidesWhateverFollows) {
    const auto ruleset = verified({named(rule("allow-ci"), "CI may promote"), rule("deny-all", Decision::Deny)});
    const PolicyDecision d = decide(ruleset, promote_input());
    EXPECT_EQ(d.decision, Decision::Allow);
    EXPECT_EQ(d.severity, PolicySeverity::Info);
    EXPECT_EQ(d.reason, "matched rule \"allow-ci\" (CI may promote) in ruleset " + kRulesetLabel +
                            " for action voreldeploy:deployment.promote");
    EXPECT_EQ(d.matched_rules, (std::vector<MatchedRule>{{"allow-ci", "CI may promote", Decision::Allow}}));
    EXPECT_EQ(d.ruleset_id, ruleset.ruleset().ruleset_id);
    EXPECT_EQ(d.ruleset_version, 7u);
    EXPECT_EQ(d.input_hash, *promote_input().input_hash());
    EXPECT_EQ(d.issued_at, at("2026-03-01T12:00:00Z"));
    EXPECT_NE(d.decision_id, decide(ruleset, promote_input()).decision_id);
}

TEST(Evaluate, UnnamedRulesAndQuotedIdsInTheReason) {
    const PolicyDecision d = decide(verified({rule("deny \"x\"", Decision::Deny)}), promote_input());
    EXPECT_EQ(d.reason, "matched rule \"deny \\\"x\\\"\" (unnamed) in ruleset " + kRulesetLabel +
                            " for action voreldeploy:deployment.promote");
    EXPECT_EQ(d.matched_rules, (std::vector<MatchedRule>{{"deny \"x\"", std::nullopt, Decision::Deny}}));
}

// Which rule of [candidate, fallback] decides for the standard input.
TEST(Evaluate, RuleFiltersAndConditions) {
    struct Case {
        const char* name;
        std::function<void(PolicyRule&)> shape;
        bool matches;
    };
    const Case cases[] = {
        {"no filters", [](PolicyRule&) {}, true},
        {"actor type equal", [](PolicyRule& r) { r.actor_type = PolicyActorType::Service; }, true},
        {"actor type differs", [](PolicyRule& r) { r.actor_type = PolicyActorType::User; }, false},
        {"resource type equal", [](PolicyRule& r) { r.resource_type = "environment"; }, true},
        {"resource type differs by case", [](PolicyRule& r) { r.resource_type = "Environment"; }, false},
        {"other action of this product",
         [](PolicyRule& r) { r.action = action_id("voreldeploy:rollback.promote"); }, false},
        {"action with a longer path",
         [](PolicyRule& r) { r.action = action_id("voreldeploy:deployment.promote.now"); }, false},
        {"action with reversed segments",
         [](PolicyRule& r) { r.action = action_id("voreldeploy:promote.deployment"); }, false},
        {"all facts hold",
         [](PolicyRule& r) { r.facts = {{"approvals", AtLeast{2}}, {"region", Equals{"eu-west"}}}; }, true},
        {"one fact fails",
         [](PolicyRule& r) { r.facts = {{"approvals", AtLeast{3}}, {"region", Equals{"eu-west"}}}; }, false},
        {"fact condition on a context key", [](PolicyRule& r) { r.facts = {{"ticket", Present{}}}; }, false},
        {"context condition holds", [](PolicyRule& r) { r.context = {{"ticket", OneOf{{"CHG-1", "CHG-2"}}}}; },
         true},
        {"context condition on a fact key", [](PolicyRule& r) { r.context = {{"region", Present{}}}; }, false},
        {"absent key really absent", [](PolicyRule& r) { r.facts = {{"frozen", Absent{}}}; }, true},
        {"not_equals on a missing key", [](PolicyRule& r) { r.facts = {{"frozen", NotEquals{"yes"}}}; }, false},
        {"everything at once",
         [](PolicyRule& r) {
             r.actor_type = PolicyActorType::Service;
             r.resource_type = "environment";
             r.facts = {{"approvals", InRange{1, 2}}};
             r.context = {{"note", Present{}}};
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PolicyRule candidate = rule("candidate", Decision::RequireApproval);
        c.shape(candidate);
        const auto ruleset = verified({candidate, rule("fallback", Decision::Deny)});
        const PolicyDecision d = decide(ruleset, promote_input());
        ASSERT_EQ(d.matched_rules.size(), 1u);
        EXPECT_EQ(d.matched_rules[0].rule_id, c.matches ? "candidate" : "fallback");
    }
}

TEST(Evaluate, PresentMatchesAnEmptyFactAndAbsentDoesNot) {
    input::PolicyInput in = promote_input();
    in.facts["region"] = "";
    PolicyRule present = rule("present");
    present.facts = {{"region", Present{}}};
    PolicyRule absent = rule("absent");
    absent.facts = {{"region", Absent{}}};
    EXPECT_EQ(decide(verified({present}), in).decision, Decision::Allow);
    EXPECT_EQ(decide(verified({absent}), in).decision, Decision::NotApplicable);
}

TEST(Evaluate, InputsWithOneHashAreDecidedAlike) {
    // "café" precomposed and with a combining accent hash the same, so they
    // must also match the same rules, whichever form the rule is written in.
    const std::string composed = "caf\u00e9";
    const std::string combining = "cafe\u0301";
    for (const std::string& in_rule : {composed, combining}) {
        PolicyRule by_value = rule("by-value");
        by_value.facts = {{"site", Equals{in_rule}}};
        PolicyRule by_key = rule("by-key");
        by_key.context = {{"r\u00f4le", OneOf{{in_rule}}}};
        PolicyRule by_resource = rule("by-resource");
        by_resource.resource_type = in_rule;
        for (const std::string& in_input : {composed, combining}) {
            input::PolicyInput in = promote_input();
            in.facts["site"] = in_input;
            EXPECT_EQ(decide(verified({by_value}), in).decision, Decision::Allow);
            in.context["ro\u0302le"] = in_input;
            EXPECT_EQ(decide(verified({by_key}), in).decision, Decision::Allow);
            in.resource_type = in_input;
            EXPECT_EQ(decide(verified({by_resource}), in).decision, Decision::Allow);
        }
    }
    input::PolicyInput a = promote_input();
    input::PolicyInput b = promote_input();
    a.facts["site"] = composed;
    b.facts["site"] = combining;
    EXPECT_EQ(*a.input_hash(), *b.input_hash());
    PolicyRule differs = rule("differs");
    differs.facts = {{"site", NotEquals{combining}}};
    EXPECT_EQ(decide(verified({differs}), a).decision, Decision::NotApplicable);
}

TEST(Evaluate, AtLeastReadsOnlyCanonicalIntegerFacts) {
    struct Case {
        const char* approvals;
        bool matches;
    };
    const Case cases[] = {{"5", true}, {"6", true}, {"4", false}, {"05", false}, {"+5", false}, {"5.0", false}};
    PolicyRule r = rule("enough-approvals");
    r.facts = {{"approvals", AtLeast{5}}};
    const auto ruleset = verified({r});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.approvals);
        input::PolicyInput in = promote_input();
        in.facts["approvals"] = c.approvals;
        EXPECT_EQ(decide(ruleset, in).decision, c.matches ? Decision::Allow : Decision::NotApplicable);
    }
}

TEST(Evaluate, NoMatchIsNotApplicableWithInfoSeverityAndNoRules) {
    PolicyRule users_only = rule("users-only");
    users_only.actor_type = PolicyActorType::User;
    PolicyRule rollback = rule("rollback", Decision::Deny);
    rollback.action = action_id("voreldeploy:rollback.promote");
    // Empty, and with rules none of which fits this request.
    const VerifiedRuleset rulesets[] = {verified({}), verified({users_only, rollback})};
    for (const VerifiedRuleset& ruleset : rulesets) {
        SCOPED_TRACE(ruleset.ruleset().rules.size());
        const PolicyDecision d = decide(ruleset, promote_input(), "voreldeploy:deployment.promote");
        EXPECT_EQ(d.decision, Decision::NotApplicable);
        EXPECT_EQ(d.severity, PolicySeverity::Info);
        EXPECT_TRUE(d.matched_rules.empty());
        EXPECT_EQ(d.reason, kNoMatch);
    }
}

TEST(Evaluate, SeverityIsMediumOnlyForDenyAndFail) {
    for (const auto& entry : vorelcore_json::EnumTable<Decision>::entries) {
        if (entry.value == Decision::Warn) continue;  // cannot pass validation
        SCOPED_TRACE(entry.json);
        const PolicyDecision d = decide(verified({rule("r", entry.value)}), promote_input());
        EXPECT_EQ(d.decision, entry.value);
        const bool medium = entry.value == Decision::Deny || entry.value == Decision::Fail;
        EXPECT_EQ(d.severity, medium ? PolicySeverity::Medium : PolicySeverity::Info);
    }
}

TEST(Evaluate, ExpiryFollowsTheRulesetTtl) {
    struct Case {
        std::optional<std::uint32_t> ttl;
        const char* now;
        std::optional<std::string> expires;
    };
    const Case cases[] = {
        {300, "2026-03-01T12:00:00Z", "2026-03-01T12:05:00Z"},
        {std::nullopt, "2026-03-01T12:00:00Z", std::nullopt},
        {1, "2026-12-31T23:59:59.25Z", "2027-01-01T00:00:00.25Z"},
        {4294967295u, "9999-12-31T00:00:00Z", "9999-12-31T23:59:59.999999999Z"},  // clamped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        const auto ruleset = verified({rule("r")}, c.ttl);
        for (const char* action : {"voreldeploy:deployment.promote", "otherprod:deployment.promote"}) {
            // Not-applicable decisions carry the expiry too.
            input::PolicyInput in = promote_input();
            in.action = action;
            const PolicyDecision d = decide(ruleset, in, action, c.now);
            EXPECT_EQ(d.issued_at, at(c.now));
            if (c.expires) {
                ASSERT_TRUE(d.expires_at);
                EXPECT_EQ(d.expires_at->to_string(), *c.expires);
            } else {
                EXPECT_EQ(d.expires_at, std::nullopt);
            }
        }
    }
}

TEST(Evaluate, AnActionOfAnotherProductIsNotApplicableWithoutConsultingRules) {
    input::PolicyInput in = promote_input();
    in.action = "otherprod:deployment.promote";
    const PolicyDecision d = decide(verified({rule("allow-everything")}), in, "otherprod:deployment.promote");
    EXPECT_EQ(d.decision, Decision::NotApplicable);
    EXPECT_EQ(d.severity, PolicySeverity::Info);
    EXPECT_TRUE(d.matched_rules.empty());
    EXPECT_EQ(d.reason,
              "action otherprod:deployment.promote belongs to product otherprod, not this ruleset's product "
              "voreldeploy (ruleset " +
                  kRulesetLabel + ") \u2014 no rule in it could ever govern this action");
    EXPECT_EQ(d.input_hash, *in.input_hash());
}

TEST(Evaluate, InconsistentQuestionsFailBeforeAnyRuleIsRead) {
    struct Case {
        const char* name;
        std::string input_action;
        std::string input_product;
        std::string message;
    };
    const std::string action_tail =
        ") \u2014 a decision must not take its effect from one action while its input_hash binds another";
    const Case cases[] = {
        {"other action", "voreldeploy:rollback.promote", "voreldeploy",
         "validation failed: policy input action \"voreldeploy:rollback.promote\" does not match the action being "
         "evaluated (\"voreldeploy:deployment.promote\"" +
             action_tail},
        {"same action, different spelling", "voreldeploy:deployment.promote ", "voreldeploy",
         "validation failed: policy input action \"voreldeploy:deployment.promote \" does not match the action "
         "being evaluated (\"voreldeploy:deployment.promote\"" +
             action_tail},
        {"action checked before product", "x\ty", "otherprod",
         "validation failed: policy input action \"x\\ty\" does not match the action being evaluated "
         "(\"voreldeploy:deployment.promote\"" +
             action_tail},
        {"other product", "voreldeploy:deployment.promote", "otherprod",
         "validation failed: policy input belongs to product otherprod but this ruleset governs voreldeploy "
         "\u2014 refusing to issue a decision bound to an input from a different product"},
    };
    // Rulesets that would and would not match: neither is consulted.
    const VerifiedRuleset rulesets[] = {verified({}), verified({rule("allow")})};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        input::PolicyInput in = promote_input();
        in.action = c.input_action;
        in.product_id = testing::product(c.input_product);
        for (const VerifiedRuleset& ruleset : rulesets) {
            auto d = evaluate(ruleset, in, action_id("voreldeploy:deployment.promote"), at("2026-03-01T12:00:00Z"));
            ASSERT_FALSE(d);
            EXPECT_EQ(d.error().kind(), CoreError::Kind::Validation);
            EXPECT_EQ(d.error().message(), c.message);
        }
    }
}

TEST(PolicyDecisionRecord, WithMatchedRulesReplacesTheList) {
    PolicyDecision d = decide(verified({rule("r")}), promote_input());
    const std::string reason = d.reason;
    PolicyDecision replaced = std::move(d).with_matched_rules({{"x", "X", Decision::Deny}, {"y", {}, Decision::Pass}});
    EXPECT_EQ(replaced.matched_rules,
              (std::vector<MatchedRule>{{"x", "X", Decision::Deny}, {"y", std::nullopt, Decision::Pass}}));
    EXPECT_EQ(replaced.decision, Decision::Allow);
    EXPECT_EQ(replaced.reason, reason);
}

}  // namespace
}  // namespace vorelcore_policy::eval
