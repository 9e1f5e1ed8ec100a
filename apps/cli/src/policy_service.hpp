#pragma once
// Where the ruleset for a decision comes from. There is no default and no
// built-in ruleset: either a policy service (its bundle verified locally
// against the keys it serves) or a signed ruleset file verified against the
// local trust store. The ruleset only ever leaves here verified.
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "vorelcore_contracts/time.hpp"
#include "vorelcore_policy/eval.hpp"

namespace razavovivodidi::policy_service {

struct RulesetSourceOptions {
    std::optional<std::filesystem::path> policy_ruleset;
    std::optional<std::filesystem::path> trust_store;
    std::optional<std::string> service_url;
    std::optional<std::string> service_scope;
    std::optional<std::string> service_token;  // a secret: never printed, written or put in a message
};

struct ResolvedRuleset {
    vorelcore_policy::eval::VerifiedRuleset ruleset;
    std::string description;  // printed as "policy ruleset source: {}"
};

std::expected<ResolvedRuleset, std::string> resolve_ruleset_source(const RulesetSourceOptions& options,
                                                                   const vorelcore_contracts::time::Timestamp& now);

}  // namespace razavovivodidi::policy_service
