#pragma once
// One place a release is deployed to. It carries names of things kept
// elsewhere (endpoint, credentials secret, gateway), never secrets, addresses
// or filesystem paths.
#include <array>
#include <cstdint>
#include <optional>
#include <tuple>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_contracts::target {

enum class TargetType : std::uint8_t {
    Kubernetes,
    DockerCompose,
    TerraformState,
    VorelOsNode,
    TestFixture,
    LocalFilesystem,
};
enum class TargetStatus : std::uint8_t { Active, Disabled };
enum class TargetHealth : std::uint8_t { Healthy, Degraded, Unreachable, Unknown };

struct DeployTarget {
    ids::TargetId id;
    vorelcore_contracts::ids::TenantId tenant_id;
    vorelcore_contracts::ids::WorkspaceId workspace_id;
    vorelcore_contracts::ids::Slug name;
    TargetType target_type = TargetType::Kubernetes;  // selects the adapter
    vorelcore_contracts::ids::Slug endpoint_ref;
    vorelcore_contracts::ids::Slug credential_secret_ref;
    std::optional<vorelcore_contracts::ids::Slug> gateway_ref;
    TargetStatus status = TargetStatus::Active;
    TargetHealth health_status = TargetHealth::Unknown;
    vorelcore_contracts::ids::IdentityId created_by;
    vorelcore_contracts::time::Timestamp created_at;
    std::optional<vorelcore_contracts::time::Timestamp> disabled_at;

    friend bool operator==(const DeployTarget&, const DeployTarget&) = default;
};

}  // namespace voreldeploy_contracts::target

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::target::TargetType> {
    using E = voreldeploy_contracts::target::TargetType;
    static constexpr std::string_view type_name = "TargetType";
    static constexpr std::array<EnumEntry<E>, 6> entries{{
        {E::Kubernetes, "kubernetes", "Kubernetes"},
        {E::DockerCompose, "docker_compose", "DockerCompose"},
        {E::TerraformState, "terraform_state", "TerraformState"},
        {E::VorelOsNode, "vorel_os_node", "VorelOsNode"},
        {E::TestFixture, "test_fixture", "TestFixture"},
        {E::LocalFilesystem, "local_filesystem", "LocalFilesystem"},
    }};
};

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::target::TargetStatus> {
    using E = voreldeploy_contracts::target::TargetStatus;
    static constexpr std::string_view type_name = "TargetStatus";
    static constexpr std::array<EnumEntry<E>, 2> entries{{
        {E::Active, "active", "Active"},
        {E::Disabled, "disabled", "Disabled"},
    }};
};

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::target::TargetHealth> {
    using E = voreldeploy_contracts::target::TargetHealth;
    static constexpr std::string_view type_name = "TargetHealth";
    static constexpr std::array<EnumEntry<E>, 4> entries{{
        {E::Healthy, "healthy", "Healthy"},
        {E::Degraded, "degraded", "Degraded"},
        {E::Unreachable, "unreachable", "Unreachable"},
        {E::Unknown, "unknown", "Unknown"},
    }};
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::target::DeployTarget> {
    using T = voreldeploy_contracts::target::DeployTarget;
    static constexpr std::string_view name = "DeployTarget";
    static constexpr auto list = std::make_tuple(
        field("id", &T::id), field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("name", &T::name), field("target_type", &T::target_type), field("endpoint_ref", &T::endpoint_ref),
        field("credential_secret_ref", &T::credential_secret_ref), field("gateway_ref", &T::gateway_ref),
        field("status", &T::status), field("health_status", &T::health_status), field("created_by", &T::created_by),
        field("created_at", &T::created_at), field("disabled_at", &T::disabled_at));
};
