#pragma once
// The effect a rule names, and the record one evaluation produces. A
// decision has no document form of its own; plans keep only its id.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_json/enum_table.hpp"

namespace vorelcore_policy::decision {

enum class Decision : std::uint8_t {
    Allow,
    Deny,
    Warn,
    RequireApproval,
    RequireReauthentication,
    RequireException,
    Pass,
    Fail,
    NotApplicable,
    Unknown,
};

enum class PolicySeverity : std::uint8_t { Info, Low, Medium, High, Critical };

// Medium for a deny or a fail, info for everything else.
PolicySeverity severity_of(Decision decision);

struct MatchedRule {
    std::string rule_id;
    std::optional<std::string> rule_name;
    Decision effect = Decision::Deny;

    friend bool operator==(const MatchedRule&, const MatchedRule&) = default;
};

struct PolicyDecision {
    vorelcore_contracts::ids::DecisionId decision_id;
    vorelcore_contracts::ids::PolicyId ruleset_id;
    std::uint64_t ruleset_version = 0;
    Decision decision = Decision::Deny;
    PolicySeverity severity = PolicySeverity::Info;
    std::string reason;
    vorelcore_crypto::hash::ContentHash input_hash;  // of the input evaluated
    vorelcore_contracts::time::Timestamp issued_at;
    std::optional<vorelcore_contracts::time::Timestamp> expires_at;  // absent: never expires
    std::vector<MatchedRule> matched_rules;  // empty when no rule matched

    // Replaces the matched rules and hands the decision back.
    PolicyDecision with_matched_rules(std::vector<MatchedRule> rules) &&;

    friend bool operator==(const PolicyDecision&, const PolicyDecision&) = default;
};

}  // namespace vorelcore_policy::decision

template <>
struct vorelcore_json::EnumTable<vorelcore_policy::decision::Decision> {
    using E = vorelcore_policy::decision::Decision;
    static constexpr std::string_view type_name = "Decision";
    static constexpr std::array<EnumEntry<E>, 10> entries{{
        {E::Allow, "allow", "Allow"},
        {E::Deny, "deny", "Deny"},
        {E::Warn, "warn", "Warn"},
        {E::RequireApproval, "require_approval", "RequireApproval"},
        {E::RequireReauthentication, "require_reauthentication", "RequireReauthentication"},
        {E::RequireException, "require_exception", "RequireException"},
        {E::Pass, "pass", "Pass"},
        {E::Fail, "fail", "Fail"},
        {E::NotApplicable, "not_applicable", "NotApplicable"},
        {E::Unknown, "unknown", "Unknown"},
    }};
};

template <>
struct vorelcore_json::EnumTable<vorelcore_policy::decision::PolicySeverity> {
    using E = vorelcore_policy::decision::PolicySeverity;
    static constexpr std::string_view type_name = "PolicySeverity";
    static constexpr std::array<EnumEntry<E>, 5> entries{{
        {E::Info, "info", "Info"},
        {E::Low, "low", "Low"},
        {E::Medium, "medium", "Medium"},
        {E::High, "high", "High"},
        {E::Critical, "critical", "Critical"},
    }};
};
