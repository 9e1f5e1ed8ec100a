#include "vorelcore_policy/eval.hpp"

#include <charconv>
#include <set>
#include <utility>

#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_error/text.hpp"

namespace vorelcore_policy::eval {

using decision::Decision;
using decision::MatchedRule;
using decision::PolicyDecision;
using vorelcore_error::CoreError;
using vorelcore_error::debug_quoted;

// ------------------------------------------------------------- conditions

bool is_canonical_integer(std::string_view text, std::int64_t* value) {
    std::int64_t parsed = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, parsed);
    if (error != std::errc{} || stop != end) return false;
    // from_chars already refuses '+', spaces and out-of-range text; what is
    // left are leading zeros and "-0", which render differently.
    if (std::to_string(parsed) != text) return false;
    if (value != nullptr) *value = parsed;
    return true;
}

bool condition_matches(const PolicyCondition& condition, const std::string* value) {
    std::int64_t number = 0;
    const auto integer = [&] { return value != nullptr && is_canonical_integer(*value, &number); };
    return std::visit(
        [&](const auto& c) -> bool {
            using C = std::remove_cvref_t<decltype(c)>;
            if constexpr (std::is_same_v<C, Equals>) {
                return value != nullptr && *value == c.value;
            } else if constexpr (std::is_same_v<C, NotEquals>) {
                return value != nullptr && *value != c.value;
            } else if constexpr (std::is_same_v<C, OneOf>) {
                if (value == nullptr) return false;
                for (const std::string& candidate : c.values) {
                    if (*value == candidate) return true;
                }
                return false;
            } else if constexpr (std::is_same_v<C, AtLeast>) {
                return integer() && number >= c.min;
            } else if constexpr (std::is_same_v<C, AtMost>) {
                return integer() && number <= c.max;
            } else if constexpr (std::is_same_v<C, InRange>) {
                return integer() && c.min <= number && number <= c.max;
            } else if constexpr (std::is_same_v<C, Present>) {
                return value != nullptr;
            } else {
                static_assert(std::is_same_v<C, Absent>);
                return value == nullptr;
            }
        },
        condition);
}

// ----------------------------------------------------------------- errors

std::string PolicyRulesetError::message() const {
    return std::visit(
        [](const auto& e) -> std::string {
            using E = std::remove_cvref_t<decltype(e)>;
            if constexpr (std::is_same_v<E, EmptyRuleId>) {
                return "rule at index " + std::to_string(e.index) + " has an empty rule_id";
            } else if constexpr (std::is_same_v<E, DuplicateRuleId>) {
                return "duplicate rule_id " + debug_quoted(e.rule_id) +
                       " \u2014 rule ids must be unique within a ruleset";
            } else if constexpr (std::is_same_v<E, ActionProductMismatch>) {
                return "rule " + debug_quoted(e.rule_id) + " targets action " + e.action +
                       ", whose product does not match this ruleset's own product " + e.product_id.to_string() +
                       " \u2014 a ruleset must not govern another product's actions";
            } else if constexpr (std::is_same_v<E, EmptyOneOf>) {
                return "rule " + debug_quoted(e.rule_id) + " has an empty `one_of` condition on key " +
                       debug_quoted(e.key) + ", which could never match anything";
            } else if constexpr (std::is_same_v<E, InvertedRange>) {
                return "rule " + debug_quoted(e.rule_id) + " has an inverted range on key " + debug_quoted(e.key) +
                       ": min " + std::to_string(e.min) + " > max " + std::to_string(e.max) +
                       ", so it could never match anything";
            } else if constexpr (std::is_same_v<E, PermittingEffectNotAllowed>) {
                return "rule " + debug_quoted(e.rule_id) + " declares effect " +
                       std::string(vorelcore_json::display_name(e.effect)) +
                       ", which permits the action without reading as a grant \u2014 a rule that grants must use "
                       "`allow`, so a ruleset cannot express permission in a form a reviewer would read as a "
                       "warning";
            } else {
                static_assert(std::is_same_v<E, ZeroDecisionTtl>);
                return "ruleset sets decision_ttl_seconds to 0, so every decision would expire the moment it was "
                       "issued \u2014 omit the field to mean \"no expiry\"";
            }
        },
        variant_);
}

std::ostream& operator<<(std::ostream& out, const PolicyRulesetError& error) { return out << error.message(); }

// ------------------------------------------------------------- validation

namespace {

// True when the text is empty or every character in it is white space.
bool is_blank(std::string_view text) { return vorelcore_error::trim_unicode_whitespace(text).empty(); }

std::expected<void, PolicyRulesetError> validate_conditions(const PolicyRule& rule,
                                                            const std::map<std::string, PolicyCondition>& conditions) {
    for (const auto& [key, condition] : conditions) {
        if (const auto* one_of = std::get_if<OneOf>(&condition); one_of != nullptr && one_of->values.empty()) {
            return std::unexpected(PolicyRulesetError::EmptyOneOf{rule.rule_id, key});
        }
        if (const auto* range = std::get_if<InRange>(&condition); range != nullptr && range->max < range->min) {
            return std::unexpected(PolicyRulesetError::InvertedRange{rule.rule_id, key, range->min, range->max});
        }
    }
    return {};
}

}  // namespace

std::expected<void, PolicyRulesetError> PolicyRuleset::validate() const {
    if (decision_ttl_seconds && *decision_ttl_seconds == 0) {
        return std::unexpected(PolicyRulesetError::ZeroDecisionTtl{});
    }
    std::set<std::string_view> seen;
    for (std::size_t index = 0; index < rules.size(); ++index) {
        const PolicyRule& rule = rules[index];
        if (is_blank(rule.rule_id)) return std::unexpected(PolicyRulesetError::EmptyRuleId{index});
        if (!seen.insert(rule.rule_id).second) {
            return std::unexpected(PolicyRulesetError::DuplicateRuleId{rule.rule_id});
        }
        if (rule.action.product() != product_id) {
            return std::unexpected(
                PolicyRulesetError::ActionProductMismatch{rule.rule_id, rule.action.canonical(), product_id});
        }
        if (rule.effect == Decision::Warn) {
            return std::unexpected(PolicyRulesetError::PermittingEffectNotAllowed{rule.rule_id, rule.effect});
        }
        if (auto valid = validate_conditions(rule, rule.facts); !valid) return valid;
        if (auto valid = validate_conditions(rule, rule.context); !valid) return valid;
    }
    return {};
}

std::expected<VerifiedRuleset, PolicyRulesetError> PolicyRuleset::verify() && {
    if (auto valid = validate(); !valid) return std::unexpected(std::move(valid.error()));
    return VerifiedRuleset(std::move(*this));
}

std::expected<VerifiedRuleset, PolicyRulesetError> VerifiedRuleset::create(vorelcore_contracts::ids::PolicyId ruleset_id,
                                                                           vorelcore_contracts::ids::ProductId product_id,
                                                                           std::uint64_t version,
                                                                           std::vector<PolicyRule> rules) {
    PolicyRuleset ruleset{std::move(ruleset_id), std::move(product_id), version, std::move(rules), std::nullopt};
    return std::move(ruleset).verify();
}

std::vector<std::string> ruleset_envelope_context() { return {"product:voreldeploy", "purpose:policy-ruleset"}; }

// ------------------------------------------------------------- evaluation

namespace {

// Rules are matched against the input exactly as it is hashed: the input
// hash covers canonical text, where "e" + U+0301 and "é" are the same, so
// matching must not tell them apart either. Otherwise two inputs with one
// hash could be decided differently, and a decision made for one would pass
// the gate for the other.
struct HashedView {
    std::string resource_type;
    std::map<std::string, std::string> facts;
    std::map<std::string, std::string> context;
};

std::map<std::string, std::string> normalized(const std::map<std::string, std::string>& values) {
    std::map<std::string, std::string> out;
    for (const auto& [key, value] : values) out.emplace(vorelcore_crypto::canonical::normalize(key), vorelcore_crypto::canonical::normalize(value));
    return out;
}

PolicyCondition normalized(const PolicyCondition& condition) {
    PolicyCondition out = condition;
    if (auto* equals = std::get_if<Equals>(&out)) equals->value = vorelcore_crypto::canonical::normalize(equals->value);
    if (auto* differs = std::get_if<NotEquals>(&out)) differs->value = vorelcore_crypto::canonical::normalize(differs->value);
    if (auto* one_of = std::get_if<OneOf>(&out)) {
        for (std::string& candidate : one_of->values) candidate = vorelcore_crypto::canonical::normalize(candidate);
    }
    return out;
}

const std::string* lookup(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto found = values.find(vorelcore_crypto::canonical::normalize(key));
    return found == values.end() ? nullptr : &found->second;
}

bool all_match(const std::map<std::string, PolicyCondition>& conditions,
               const std::map<std::string, std::string>& values) {
    for (const auto& [key, condition] : conditions) {
        if (!condition_matches(normalized(condition), lookup(values, key))) return false;
    }
    return true;
}

bool rule_matches(const PolicyRule& rule, const input::PolicyInput& input, const HashedView& view,
                  const action::PolicyActionId& action) {
    return rule.action == action && (!rule.actor_type || *rule.actor_type == input.actor_type) &&
           (!rule.resource_type || vorelcore_crypto::canonical::normalize(*rule.resource_type) == view.resource_type) &&
           all_match(rule.facts, view.facts) && all_match(rule.context, view.context);
}

}  // namespace

std::expected<PolicyDecision, CoreError> evaluate(const VerifiedRuleset& verified, const input::PolicyInput& input,
                                                  const action::PolicyActionId& action,
                                                  const vorelcore_contracts::time::Timestamp& now) {
    const PolicyRuleset& ruleset = verified.ruleset();
    const std::string action_text = action.canonical();
    if (input.action != action_text) {
        return std::unexpected(CoreError::validation(
            "policy input action " + debug_quoted(input.action) + " does not match the action being evaluated (" +
            debug_quoted(action_text) +
            ") \u2014 a decision must not take its effect from one action while its input_hash binds another"));
    }
    if (input.product_id != ruleset.product_id) {
        return std::unexpected(CoreError::validation(
            "policy input belongs to product " + input.product_id.to_string() + " but this ruleset governs " +
            ruleset.product_id.to_string() +
            " \u2014 refusing to issue a decision bound to an input from a different product"));
    }
    auto input_hash = input.input_hash();
    if (!input_hash) return std::unexpected(std::move(input_hash.error()));

    PolicyDecision out;
    out.decision_id = vorelcore_contracts::ids::DecisionId::generate();
    out.ruleset_id = ruleset.ruleset_id;
    out.ruleset_version = ruleset.version;
    out.input_hash = *input_hash;
    out.issued_at = now;
    if (ruleset.decision_ttl_seconds) out.expires_at = now.saturating_add_seconds(*ruleset.decision_ttl_seconds);

    const std::string ruleset_label = ruleset.ruleset_id.to_string() + " v" + std::to_string(ruleset.version);
    out.decision = Decision::NotApplicable;
    if (action.product() != ruleset.product_id) {
        out.reason = "action " + action_text + " belongs to product " + action.product().to_string() +
                     ", not this ruleset's product " + ruleset.product_id.to_string() + " (ruleset " + ruleset_label +
                     ") \u2014 no rule in it could ever govern this action";
    } else {
        out.reason = "no rule in ruleset " + ruleset_label + " matched action " + action_text + " for this input";
        const HashedView view{vorelcore_crypto::canonical::normalize(input.resource_type), normalized(input.facts),
                              normalized(input.context)};
        for (const PolicyRule& rule : ruleset.rules) {
            if (!rule_matches(rule, input, view, action)) continue;
            out.decision = rule.effect;
            out.reason = "matched rule " + debug_quoted(rule.rule_id) + " (" + rule.rule_name.value_or("unnamed") +
                         ") in ruleset " + ruleset_label + " for action " + action_text;
            out.matched_rules.push_back(MatchedRule{rule.rule_id, rule.rule_name, rule.effect});
            break;
        }
    }
    out.severity = decision::severity_of(out.decision);
    return out;
}

}  // namespace vorelcore_policy::eval
