#pragma once
// The release manifest: a signed statement of one release of a product, its
// artifacts and the releases it may be rolled back to.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_json/codec.hpp"
#include "voreldeploy_contracts/environment.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_contracts::manifest {

enum class ManifestStatus : std::uint8_t { Draft, Published, Revoked };

struct ReleaseManifest {
    std::uint16_t contract_version = 0;
    ids::ManifestId id;
    vorelcore_contracts::ids::TenantId tenant_id;
    vorelcore_contracts::ids::WorkspaceId workspace_id;
    std::string release_version;
    std::vector<vorelcore_contracts::ids::ProductId> products;
    std::vector<ids::ArtifactId> artifacts;
    // Carried and signed; no operation interprets these.
    std::vector<vorelcore_contracts::ids::ObjectId> dependencies;
    std::vector<std::string> required_migrations;
    std::vector<std::string> required_capabilities;
    std::vector<environment::EnvironmentType> environment_compatibility;
    std::vector<ids::ManifestId> rollback_compatible_with;
    vorelcore_crypto::hash::ContentHash manifest_hash;  // supplied by the producer, never recomputed
    ManifestStatus status = ManifestStatus::Draft;
    vorelcore_contracts::time::Timestamp created_at;
    std::optional<vorelcore_contracts::time::Timestamp> published_at;
    std::optional<vorelcore_contracts::time::Timestamp> revoked_at;

    // Whether this (currently deployed) release declares `target` as one it
    // may be rolled back to. Not symmetric.
    bool can_roll_back_to(const ids::ManifestId& target) const;

    friend bool operator==(const ReleaseManifest&, const ReleaseManifest&) = default;
};

}  // namespace voreldeploy_contracts::manifest

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::manifest::ManifestStatus> {
    using E = voreldeploy_contracts::manifest::ManifestStatus;
    static constexpr std::string_view type_name = "ManifestStatus";
    static constexpr std::array<EnumEntry<E>, 3> entries{{
        {E::Draft, "draft", "Draft"},
        {E::Published, "published", "Published"},
        {E::Revoked, "revoked", "Revoked"},
    }};
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::manifest::ReleaseManifest> {
    using T = voreldeploy_contracts::manifest::ReleaseManifest;
    static constexpr std::string_view name = "ReleaseManifest";
    static constexpr auto list = std::make_tuple(
        field("contract_version", &T::contract_version), field("id", &T::id), field("tenant_id", &T::tenant_id),
        field("workspace_id", &T::workspace_id), field("release_version", &T::release_version),
        field("products", &T::products), field("artifacts", &T::artifacts),
        field_omit_empty("dependencies", &T::dependencies),
        field_omit_empty("required_migrations", &T::required_migrations),
        field_omit_empty("required_capabilities", &T::required_capabilities),
        field_omit_empty("environment_compatibility", &T::environment_compatibility),
        field_omit_empty("rollback_compatible_with", &T::rollback_compatible_with),
        field("manifest_hash", &T::manifest_hash), field("status", &T::status), field("created_at", &T::created_at),
        field("published_at", &T::published_at), field("revoked_at", &T::revoked_at));
};
