#pragma once
// The rule language: conditions on facts and context, rules, rulesets and
// their structural validation, verified rulesets, and evaluation (the first
// matching rule decides).
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <variant>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/envelope.hpp"
#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/decision.hpp"
#include "vorelcore_policy/input.hpp"

namespace vorelcore_policy::eval {

// ------------------------------------------------------------- conditions

struct Equals {
    std::string value;
    friend bool operator==(const Equals&, const Equals&) = default;
};
struct NotEquals {
    std::string value;
    friend bool operator==(const NotEquals&, const NotEquals&) = default;
};
struct OneOf {
    std::vector<std::string> values;
    friend bool operator==(const OneOf&, const OneOf&) = default;
};
struct AtLeast {
    std::int64_t min = 0;
    friend bool operator==(const AtLeast&, const AtLeast&) = default;
};
struct AtMost {
    std::int64_t max = 0;
    friend bool operator==(const AtMost&, const AtMost&) = default;
};
struct InRange {
    std::int64_t min = 0;
    std::int64_t max = 0;
    friend bool operator==(const InRange&, const InRange&) = default;
};
struct Present {
    friend bool operator==(const Present&, const Present&) = default;
};
struct Absent {
    friend bool operator==(const Absent&, const Absent&) = default;
};

// A test on one named fact or context value.
using PolicyCondition = std::variant<Equals, NotEquals, OneOf, AtLeast, AtMost, InRange, Present, Absent>;

// The "op" spellings, in variant order.
inline constexpr std::array<std::string_view, 8> kConditionOps{
    "equals", "not_equals", "one_of", "at_least", "at_most", "in_range", "present", "absent",
};

// True when `text` reads as a signed 64-bit integer and is exactly that
// integer's decimal rendering: optional '-', no '+', no leading zeros, no
// spaces, no "-0". The integer goes to `value` when given.
bool is_canonical_integer(std::string_view text, std::int64_t* value = nullptr);

// Whether the named value (nullptr when the input has no such key)
// satisfies the condition. Numeric conditions match only canonical integers.
bool condition_matches(const PolicyCondition& condition, const std::string* value);

// ------------------------------------------------------------------ rules

struct PolicyRule {
    std::string rule_id;
    std::optional<std::string> rule_name;
    action::PolicyActionId action;
    std::optional<input::PolicyActorType> actor_type;  // absent: any actor type
    std::optional<std::string> resource_type;          // absent: any resource type
    std::map<std::string, PolicyCondition> facts;
    std::map<std::string, PolicyCondition> context;
    decision::Decision effect = decision::Decision::Deny;

    friend bool operator==(const PolicyRule&, const PolicyRule&) = default;
};

// ----------------------------------------------------------------- errors

// Why a ruleset is structurally unusable. Every variant has a fixed display
// text; rule ids and keys are shown debug-quoted.
class PolicyRulesetError {
public:
    struct EmptyRuleId {
        std::size_t index = 0;
        friend bool operator==(const EmptyRuleId&, const EmptyRuleId&) = default;
    };
    struct DuplicateRuleId {
        std::string rule_id;
        friend bool operator==(const DuplicateRuleId&, const DuplicateRuleId&) = default;
    };
    struct ActionProductMismatch {
        std::string rule_id;
        std::string action;  // canonical text of the rule's action
        vorelcore_contracts::ids::ProductId product_id;  // the ruleset's own product
        friend bool operator==(const ActionProductMismatch&, const ActionProductMismatch&) = default;
    };
    struct EmptyOneOf {
        std::string rule_id;
        std::string key;
        friend bool operator==(const EmptyOneOf&, const EmptyOneOf&) = default;
    };
    struct InvertedRange {
        std::string rule_id;
        std::string key;
        std::int64_t min = 0;
        std::int64_t max = 0;
        friend bool operator==(const InvertedRange&, const InvertedRange&) = default;
    };
    struct PermittingEffectNotAllowed {
        std::string rule_id;
        decision::Decision effect = decision::Decision::Warn;
        friend bool operator==(const PermittingEffectNotAllowed&, const PermittingEffectNotAllowed&) = default;
    };
    struct ZeroDecisionTtl {
        friend bool operator==(const ZeroDecisionTtl&, const ZeroDecisionTtl&) = default;
    };

    using Variant = std::variant<EmptyRuleId, DuplicateRuleId, ActionProductMismatch, EmptyOneOf, InvertedRange,
                                 PermittingEffectNotAllowed, ZeroDecisionTtl>;

    template <class V, class = Variant>
    struct IsAlternative;
    template <class V, class... A>
    struct IsAlternative<V, std::variant<A...>> : std::bool_constant<(std::is_same_v<V, A> || ...)> {};

    // Kinds in variant order.
    enum class Kind : std::uint8_t {
        EmptyRuleId,
        DuplicateRuleId,
        ActionProductMismatch,
        EmptyOneOf,
        InvertedRange,
        PermittingEffectNotAllowed,
        ZeroDecisionTtl,
    };

    // Any one variant converts into the error.
    template <class V>
        requires IsAlternative<std::remove_cvref_t<V>>::value
    PolicyRulesetError(V&& variant) : variant_(std::forward<V>(variant)) {}

    Kind kind() const { return static_cast<Kind>(variant_.index()); }
    const Variant& variant() const { return variant_; }
    template <class V>
    bool is() const {
        return std::holds_alternative<V>(variant_);
    }
    template <class V>
    const V* get_if() const {
        return std::get_if<V>(&variant_);
    }

    // The fixed display text.
    std::string message() const;

    friend bool operator==(const PolicyRulesetError&, const PolicyRulesetError&) = default;

private:
    Variant variant_;
};

std::ostream& operator<<(std::ostream& out, const PolicyRulesetError& error);

// --------------------------------------------------------------- rulesets

class VerifiedRuleset;

struct PolicyRuleset {
    vorelcore_contracts::ids::PolicyId ruleset_id;
    vorelcore_contracts::ids::ProductId product_id;
    std::uint64_t version = 0;
    std::vector<PolicyRule> rules;  // in evaluation order
    std::optional<std::uint32_t> decision_ttl_seconds;  // absent: decisions never expire

    // Structural checks, in order: a zero TTL, then each rule in turn (blank
    // id, repeated id, action of another product, the effect "warn", then
    // its fact and context conditions in key order: an empty one_of, an
    // inverted in_range). The first failure is returned.
    std::expected<void, PolicyRulesetError> validate() const;

    // Validates and, on success, hands the ruleset over to a VerifiedRuleset.
    // Checks structure only; who signed it is settled before this is called.
    std::expected<VerifiedRuleset, PolicyRulesetError> verify() &&;

    friend bool operator==(const PolicyRuleset&, const PolicyRuleset&) = default;
};

// A ruleset that has passed validation: the only kind evaluation accepts.
// Built only by PolicyRuleset::verify and create; read-only afterwards.
class VerifiedRuleset {
public:
    // A ruleset that was never signed, built in-process: no decision TTL.
    static std::expected<VerifiedRuleset, PolicyRulesetError> create(vorelcore_contracts::ids::PolicyId ruleset_id,
                                                                     vorelcore_contracts::ids::ProductId product_id,
                                                                     std::uint64_t version,
                                                                     std::vector<PolicyRule> rules);

    const PolicyRuleset& ruleset() const { return ruleset_; }

    friend bool operator==(const VerifiedRuleset&, const VerifiedRuleset&) = default;

private:
    friend struct PolicyRuleset;
    explicit VerifiedRuleset(PolicyRuleset ruleset) : ruleset_(std::move(ruleset)) {}

    PolicyRuleset ruleset_;
};

// A ruleset inside a signed envelope under ruleset_envelope_context().
using SignedPolicyRuleset = vorelcore_crypto::envelope::SignedEnvelope<PolicyRuleset>;

// The associated data of a signed ruleset: "product:voreldeploy",
// "purpose:policy-ruleset", in this order.
std::vector<std::string> ruleset_envelope_context();

// ------------------------------------------------------------- evaluation

// The decision of `ruleset` for `action` on `input` at `now`. Fails only when
// the question is inconsistent (the input names another action, or another
// product than the ruleset) or the input cannot be hashed; an action no rule
// matches is decided "not_applicable".
std::expected<decision::PolicyDecision, vorelcore_error::CoreError> evaluate(
    const VerifiedRuleset& ruleset, const input::PolicyInput& input, const action::PolicyActionId& action,
    const vorelcore_contracts::time::Timestamp& now);

}  // namespace vorelcore_policy::eval

// ------------------------------------------------------------ JSON forms

template <>
struct vorelcore_json::InternallyTagged<vorelcore_policy::eval::PolicyCondition> {
    static constexpr std::string_view name = "PolicyCondition";
    static constexpr std::string_view tag = "op";
    static constexpr auto variants = vorelcore_policy::eval::kConditionOps;
};

template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::Equals> {
    using T = vorelcore_policy::eval::Equals;
    static constexpr std::string_view name = "Equals";
    static constexpr auto list = std::make_tuple(field("value", &T::value));
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::NotEquals> {
    using T = vorelcore_policy::eval::NotEquals;
    static constexpr std::string_view name = "NotEquals";
    static constexpr auto list = std::make_tuple(field("value", &T::value));
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::OneOf> {
    using T = vorelcore_policy::eval::OneOf;
    static constexpr std::string_view name = "OneOf";
    static constexpr auto list = std::make_tuple(field("values", &T::values));
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::AtLeast> {
    using T = vorelcore_policy::eval::AtLeast;
    static constexpr std::string_view name = "AtLeast";
    static constexpr auto list = std::make_tuple(field("min", &T::min));
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::AtMost> {
    using T = vorelcore_policy::eval::AtMost;
    static constexpr std::string_view name = "AtMost";
    static constexpr auto list = std::make_tuple(field("max", &T::max));
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::InRange> {
    using T = vorelcore_policy::eval::InRange;
    static constexpr std::string_view name = "InRange";
    static constexpr auto list = std::make_tuple(field("min", &T::min), field("max", &T::max));
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::Present> {
    static constexpr std::string_view name = "Present";
    static constexpr auto list = std::make_tuple();
};
template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::Absent> {
    static constexpr std::string_view name = "Absent";
    static constexpr auto list = std::make_tuple();
};

template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::PolicyRule> {
    using T = vorelcore_policy::eval::PolicyRule;
    static constexpr std::string_view name = "PolicyRule";
    static constexpr auto list = std::make_tuple(
        field("rule_id", &T::rule_id), field("rule_name", &T::rule_name), field("action", &T::action),
        field("actor_type", &T::actor_type), field("resource_type", &T::resource_type),
        field_omit_empty("facts", &T::facts), field_omit_empty("context", &T::context), field("effect", &T::effect));
};

template <>
struct vorelcore_json::Fields<vorelcore_policy::eval::PolicyRuleset> {
    using T = vorelcore_policy::eval::PolicyRuleset;
    static constexpr std::string_view name = "PolicyRuleset";
    static constexpr auto list =
        std::make_tuple(field("ruleset_id", &T::ruleset_id), field("product_id", &T::product_id),
                        field("version", &T::version), field("rules", &T::rules),
                        field("decision_ttl_seconds", &T::decision_ttl_seconds));
};
