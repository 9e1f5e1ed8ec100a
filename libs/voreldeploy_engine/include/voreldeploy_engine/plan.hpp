#pragma once
// Plan validation: bounds the parameters of the typed steps, so even a
// well-formed plan cannot ask for an absurd replica count, an endless health
// wait or a migration without a reference.
#include <cstdint>
#include <expected>
#include <vector>

#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_engine/error.hpp"

namespace voreldeploy_engine::plan {

inline constexpr std::uint32_t kMaxReplicaCount = 1000;
inline constexpr std::uint32_t kMaxTimeoutSeconds = 3600;

// Reports only the first offending step, by its zero-based index.
std::expected<void, error::EngineError> validate_steps(
    const std::vector<voreldeploy_contracts::plan::DeploymentStepKind>& steps);

}  // namespace voreldeploy_engine::plan
