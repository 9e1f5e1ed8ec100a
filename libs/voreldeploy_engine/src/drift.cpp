#include "voreldeploy_engine/drift.hpp"

#include <map>
#include <string_view>

namespace voreldeploy_engine::drift {

using namespace voreldeploy_contracts::drift;
using vorelcore_policy::decision::PolicySeverity;

namespace {

// The fact each key ends up with: the last one in list order.
std::map<std::string_view, const DriftFact*> index_by_key(const std::vector<DriftFact>& facts) {
    std::map<std::string_view, const DriftFact*> index;
    for (const DriftFact& fact : facts) index.insert_or_assign(drift_key(fact), &fact);
    return index;
}

bool is_high_severity_key(std::string_view key) {
    return key == "image_digest" || key == "replica_count" || key == "network_policy_present" ||
           key == "secret_reference_present";
}

const DriftFact* find(const std::map<std::string_view, const DriftFact*>& index, std::string_view key) {
    const auto found = index.find(key);
    return found == index.end() ? nullptr : found->second;
}

}  // namespace

DriftCheck compare(voreldeploy_contracts::ids::EnvironmentId environment_id,
                   voreldeploy_contracts::ids::TargetId target_id, std::vector<DriftFact> desired,
                   std::vector<DriftFact> observed, const vorelcore_contracts::time::Timestamp& checked_at) {
    DriftCheck check;
    check.id = voreldeploy_contracts::ids::DriftCheckId::generate();
    check.environment_id = environment_id;
    check.target_id = target_id;
    check.checked_at = checked_at;
    {
        const auto wanted = index_by_key(desired);
        const auto seen = index_by_key(observed);
        // Keys of either side, in byte order (std::map orders string_views so).
        std::map<std::string_view, bool> keys;
        for (const auto& [key, fact] : wanted) keys.emplace(key, true);
        for (const auto& [key, fact] : seen) keys.emplace(key, true);

        bool high = false;
        for (const auto& [key, unused] : keys) {
            const DriftFact* d = find(wanted, key);
            const DriftFact* o = find(seen, key);
            if (d != nullptr && o != nullptr && *d == *o) continue;
            DriftFinding finding;
            finding.fact_kind = std::string(key);
            if (d != nullptr) finding.desired = *d;
            if (o != nullptr) finding.observed = *o;
            check.drift_summary.push_back(std::move(finding));
            high = high || is_high_severity_key(key);
        }
        check.status = check.drift_summary.empty() ? DriftStatus::InSync : DriftStatus::Drifted;
        check.severity = check.drift_summary.empty() ? PolicySeverity::Info
                         : high                       ? PolicySeverity::High
                                                      : PolicySeverity::Medium;
    }
    // The indexes point into the lists; they are gone before the lists move.
    check.desired = std::move(desired);
    check.observed = std::move(observed);
    return check;
}

}  // namespace voreldeploy_engine::drift
