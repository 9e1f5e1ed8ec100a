#include "policy_service.hpp"

#include "trust_store.hpp"

namespace razavovivodidi::policy_service {

std::expected<ResolvedRuleset, std::string> resolve_ruleset_source(const RulesetSourceOptions& options,
                                                                   const vorelcore_contracts::time::Timestamp& now) {
    // The first matching row of the source table decides.
    if (options.service_url) {
        if (!options.service_scope) return std::unexpected("--policy-service-url requires --policy-service-scope");
        if (!options.service_token) return std::unexpected("--policy-service-url requires --policy-service-token");
        return std::unexpected("policy service source is not available yet");
    }
    if (!options.policy_ruleset) {
        return std::unexpected(
            "either --policy-service-url (+ --policy-service-scope + --policy-service-token) or --policy-ruleset "
            "(+ --trust-store) is required \u2014 there is no default ruleset source");
    }
    if (!options.trust_store) return std::unexpected("--policy-ruleset requires --trust-store");

    auto verified = trust_store::verify_ruleset_file(*options.policy_ruleset, *options.trust_store, now);
    if (!verified) return std::unexpected(std::move(verified.error()));
    return ResolvedRuleset{std::move(*verified), "local file " + options.policy_ruleset->string() + " (trust store " +
                                                     options.trust_store->string() + ")"};
}

}  // namespace razavovivodidi::policy_service
