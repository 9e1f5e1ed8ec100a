#include "vorelcore_policy/decision.hpp"

#include <utility>

namespace vorelcore_policy::decision {

PolicySeverity severity_of(Decision decision) {
    return decision == Decision::Deny || decision == Decision::Fail ? PolicySeverity::Medium : PolicySeverity::Info;
}

PolicyDecision PolicyDecision::with_matched_rules(std::vector<MatchedRule> rules) && {
    matched_rules = std::move(rules);
    return std::move(*this);
}

}  // namespace vorelcore_policy::decision
