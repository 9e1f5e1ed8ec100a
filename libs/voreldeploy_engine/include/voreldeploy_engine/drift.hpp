#pragma once
// Drift: the difference between what a target should look like and what it
// reports. A pure comparison of two lists of safe metadata facts.
#include <vector>

#include "vorelcore_contracts/time.hpp"
#include "voreldeploy_contracts/drift.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_engine::drift {

// One finding per drift key whose facts differ or exist on one side only,
// in byte order of the keys; a later fact with the same key wins within a
// list. Severity is high when an image digest, replica count, network
// policy or secret reference drifted, medium for any other drift, info for
// none. Proportional to n log n in the number of facts.
voreldeploy_contracts::drift::DriftCheck compare(voreldeploy_contracts::ids::EnvironmentId environment_id,
                                                 voreldeploy_contracts::ids::TargetId target_id,
                                                 std::vector<voreldeploy_contracts::drift::DriftFact> desired,
                                                 std::vector<voreldeploy_contracts::drift::DriftFact> observed,
                                                 const vorelcore_contracts::time::Timestamp& checked_at);

}  // namespace voreldeploy_engine::drift
