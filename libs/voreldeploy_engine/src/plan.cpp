#include "voreldeploy_engine/plan.hpp"

#include <string>

#include "vorelcore_error/text.hpp"

namespace voreldeploy_engine::plan {

using namespace voreldeploy_contracts::plan;

namespace {

std::string at_step(std::size_t index, const std::string& what) {
    return "step " + std::to_string(index) + ": " + what;
}

// Zero, or above the bound, for one bounded parameter.
std::optional<std::string> out_of_bounds(std::size_t index, const char* name, std::uint32_t value, std::uint32_t bound) {
    if (value == 0) return at_step(index, std::string(name) + " must be greater than zero");
    if (value > bound) {
        return at_step(index, std::string(name) + " " + std::to_string(value) + " exceeds the bound of " +
                                  std::to_string(bound));
    }
    return std::nullopt;
}

std::optional<std::string> check_step(std::size_t index, const DeploymentStepKind& step) {
    if (const auto* migration = std::get_if<ApplyMigration>(&step)) {
        if (vorelcore_error::trim_unicode_whitespace(migration->migration_ref).empty()) {
            return at_step(index, "migration_ref must not be empty");
        }
    } else if (const auto* scale = std::get_if<ScaleReplicas>(&step)) {
        return out_of_bounds(index, "replica_count", scale->replica_count, kMaxReplicaCount);
    } else if (const auto* check = std::get_if<HealthCheck>(&step)) {
        return out_of_bounds(index, "timeout_seconds", check->timeout_seconds, kMaxTimeoutSeconds);
    } else if (const auto* wait = std::get_if<WaitForHealthy>(&step)) {
        return out_of_bounds(index, "timeout_seconds", wait->timeout_seconds, kMaxTimeoutSeconds);
    }
    return std::nullopt;
}

}  // namespace

std::expected<void, error::EngineError> validate_steps(const std::vector<DeploymentStepKind>& steps) {
    if (steps.empty()) return std::unexpected(error::PlanInvalid{"plan has no steps"});
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (auto problem = check_step(i, steps[i])) return std::unexpected(error::PlanInvalid{std::move(*problem)});
    }
    return {};
}

}  // namespace voreldeploy_engine::plan
