#pragma once
// The deployment plan: an ordered list of typed steps for one environment
// and one release. A step is one of seven typed operations; a document that
// names any other operation cannot be read into a plan at all.
#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/environment.hpp"
#include "voreldeploy_contracts/error.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_contracts::plan {

// The seven operations. Their order in `DeploymentStepKind` is each kind's
// identity in code: validation and the adapters dispatch on it.
struct ValidateTarget {
    friend bool operator==(const ValidateTarget&, const ValidateTarget&) = default;
};
struct ApplyArtifact {
    ids::ArtifactId artifact_id;
    friend bool operator==(const ApplyArtifact&, const ApplyArtifact&) = default;
};
struct ApplyMigration {
    std::string migration_ref;
    friend bool operator==(const ApplyMigration&, const ApplyMigration&) = default;
};
struct SetConfigReference {
    std::string key;
    vorelcore_contracts::ids::Slug secret_ref;  // the name of a secret held elsewhere, never its value
    friend bool operator==(const SetConfigReference&, const SetConfigReference&) = default;
};
struct ScaleReplicas {
    std::uint32_t replica_count = 0;
    friend bool operator==(const ScaleReplicas&, const ScaleReplicas&) = default;
};
struct HealthCheck {
    std::uint32_t timeout_seconds = 0;
    friend bool operator==(const HealthCheck&, const HealthCheck&) = default;
};
struct WaitForHealthy {
    std::uint32_t timeout_seconds = 0;
    friend bool operator==(const WaitForHealthy&, const WaitForHealthy&) = default;
};

using DeploymentStepKind = std::variant<ValidateTarget, ApplyArtifact, ApplyMigration, SetConfigReference,
                                        ScaleReplicas, HealthCheck, WaitForHealthy>;

// The "kind" spellings, in variant order; also each kind's fixed label.
inline constexpr std::array<std::string_view, 7> kStepKindLabels{
    "validate_target", "apply_artifact",   "apply_migration", "set_config_reference",
    "scale_replicas",  "health_check",     "wait_for_healthy",
};

inline std::string_view step_label(const DeploymentStepKind& step) { return kStepKindLabels[step.index()]; }

enum class PlanStatus : std::uint8_t { Draft, Simulated, WaitingApproval, Approved, Rejected, BlockedByPolicy };

struct RiskSummary {
    std::uint64_t step_count = 0;
    bool applies_migration = false;
    bool scales_replicas = false;
    bool targets_production = false;  // production only; recovery and compliance review do not count
    friend bool operator==(const RiskSummary&, const RiskSummary&) = default;
};

struct DeploymentPlan {
    std::uint16_t contract_version = 0;
    ids::PlanId id;
    vorelcore_contracts::ids::TenantId tenant_id;
    vorelcore_contracts::ids::WorkspaceId workspace_id;
    ids::EnvironmentId environment_id;
    environment::EnvironmentType environment_type = environment::EnvironmentType::Development;
    ids::ManifestId release_manifest_id;
    std::vector<DeploymentStepKind> steps;  // executed in order; the index is the step index
    PlanStatus status = PlanStatus::Draft;
    RiskSummary risk_summary;
    std::optional<vorelcore_contracts::ids::DecisionId> policy_decision_id;
    std::optional<approval::ApprovalRecord> approval;
    vorelcore_contracts::ids::IdentityId created_by;
    vorelcore_contracts::time::Timestamp created_at;
    std::optional<vorelcore_contracts::time::Timestamp> approved_at;

    // A new draft plan with a fresh id and its risk summary derived from the
    // steps. Refuses only an empty step list; step parameters are checked by
    // plan validation, not here.
    static std::expected<DeploymentPlan, error::ContractError> draft(
        vorelcore_contracts::ids::TenantId tenant_id, vorelcore_contracts::ids::WorkspaceId workspace_id,
        ids::EnvironmentId environment_id, environment::EnvironmentType environment_type,
        ids::ManifestId release_manifest_id, std::vector<DeploymentStepKind> steps,
        vorelcore_contracts::ids::IdentityId created_by, vorelcore_contracts::time::Timestamp created_at);

    friend bool operator==(const DeploymentPlan&, const DeploymentPlan&) = default;
};

}  // namespace voreldeploy_contracts::plan

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::plan::PlanStatus> {
    using E = voreldeploy_contracts::plan::PlanStatus;
    static constexpr std::string_view type_name = "PlanStatus";
    static constexpr std::array<EnumEntry<E>, 6> entries{{
        {E::Draft, "draft", "Draft"},
        {E::Simulated, "simulated", "Simulated"},
        {E::WaitingApproval, "waiting_approval", "WaitingApproval"},
        {E::Approved, "approved", "Approved"},
        {E::Rejected, "rejected", "Rejected"},
        {E::BlockedByPolicy, "blocked_by_policy", "BlockedByPolicy"},
    }};
};

template <>
struct vorelcore_json::InternallyTagged<voreldeploy_contracts::plan::DeploymentStepKind> {
    static constexpr std::string_view name = "DeploymentStepKind";
    static constexpr std::string_view tag = "kind";
    static constexpr auto variants = voreldeploy_contracts::plan::kStepKindLabels;
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::ValidateTarget> {
    static constexpr std::string_view name = "ValidateTarget";
    static constexpr auto list = std::make_tuple();
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::ApplyArtifact> {
    using T = voreldeploy_contracts::plan::ApplyArtifact;
    static constexpr std::string_view name = "ApplyArtifact";
    static constexpr auto list = std::make_tuple(field("artifact_id", &T::artifact_id));
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::ApplyMigration> {
    using T = voreldeploy_contracts::plan::ApplyMigration;
    static constexpr std::string_view name = "ApplyMigration";
    static constexpr auto list = std::make_tuple(field("migration_ref", &T::migration_ref));
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::SetConfigReference> {
    using T = voreldeploy_contracts::plan::SetConfigReference;
    static constexpr std::string_view name = "SetConfigReference";
    static constexpr auto list = std::make_tuple(field("key", &T::key), field("secret_ref", &T::secret_ref));
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::ScaleReplicas> {
    using T = voreldeploy_contracts::plan::ScaleReplicas;
    static constexpr std::string_view name = "ScaleReplicas";
    static constexpr auto list = std::make_tuple(field("replica_count", &T::replica_count));
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::HealthCheck> {
    using T = voreldeploy_contracts::plan::HealthCheck;
    static constexpr std::string_view name = "HealthCheck";
    static constexpr auto list = std::make_tuple(field("timeout_seconds", &T::timeout_seconds));
};
template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::WaitForHealthy> {
    using T = voreldeploy_contracts::plan::WaitForHealthy;
    static constexpr std::string_view name = "WaitForHealthy";
    static constexpr auto list = std::make_tuple(field("timeout_seconds", &T::timeout_seconds));
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::RiskSummary> {
    using T = voreldeploy_contracts::plan::RiskSummary;
    static constexpr std::string_view name = "RiskSummary";
    static constexpr auto list =
        std::make_tuple(field("step_count", &T::step_count), field("applies_migration", &T::applies_migration),
                        field("scales_replicas", &T::scales_replicas),
                        field("targets_production", &T::targets_production));
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::plan::DeploymentPlan> {
    using T = voreldeploy_contracts::plan::DeploymentPlan;
    static constexpr std::string_view name = "DeploymentPlan";
    static constexpr auto list = std::make_tuple(
        field("contract_version", &T::contract_version), field("id", &T::id), field("tenant_id", &T::tenant_id),
        field("workspace_id", &T::workspace_id), field("environment_id", &T::environment_id),
        field("environment_type", &T::environment_type), field("release_manifest_id", &T::release_manifest_id),
        field("steps", &T::steps), field("status", &T::status), field("risk_summary", &T::risk_summary),
        field("policy_decision_id", &T::policy_decision_id), field("approval", &T::approval),
        field("created_by", &T::created_by), field("created_at", &T::created_at),
        field("approved_at", &T::approved_at));
};
