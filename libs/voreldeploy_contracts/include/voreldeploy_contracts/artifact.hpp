#pragma once
// One deployable object of a release, with its declared content digest.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/sign.hpp"
#include "vorelcore_json/codec.hpp"
#include "voreldeploy_contracts/ids.hpp"

namespace voreldeploy_contracts::artifact {

enum class ArtifactType : std::uint8_t { ContainerImage, Binary, ConfigurationBundle, MigrationSet };
enum class ArtifactStatus : std::uint8_t { Registered, Verified, VerificationFailed, Revoked };

struct ReleaseArtifact {
    ids::ArtifactId id;
    vorelcore_contracts::ids::TenantId tenant_id;
    vorelcore_contracts::ids::WorkspaceId workspace_id;
    vorelcore_contracts::ids::ProductId product_id;
    std::string name;
    std::string version;
    ArtifactType artifact_type = ArtifactType::ContainerImage;
    vorelcore_contracts::ids::ObjectId object_ref;
    // The declared digest of the artifact's bytes; bytes that do not match
    // are never activated.
    vorelcore_crypto::hash::ContentHash artifact_hash;
    std::optional<vorelcore_crypto::sign::Signature> signature_ref;
    std::optional<vorelcore_contracts::ids::ObjectId> sbom_ref;
    std::optional<vorelcore_contracts::ids::ObjectId> provenance_ref;
    ArtifactStatus status = ArtifactStatus::Registered;
    vorelcore_contracts::time::Timestamp created_at;

    friend bool operator==(const ReleaseArtifact&, const ReleaseArtifact&) = default;
};

}  // namespace voreldeploy_contracts::artifact

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::artifact::ArtifactType> {
    using E = voreldeploy_contracts::artifact::ArtifactType;
    static constexpr std::string_view type_name = "ArtifactType";
    static constexpr std::array<EnumEntry<E>, 4> entries{{
        {E::ContainerImage, "container_image", "ContainerImage"},
        {E::Binary, "binary", "Binary"},
        {E::ConfigurationBundle, "configuration_bundle", "ConfigurationBundle"},
        {E::MigrationSet, "migration_set", "MigrationSet"},
    }};
};

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::artifact::ArtifactStatus> {
    using E = voreldeploy_contracts::artifact::ArtifactStatus;
    static constexpr std::string_view type_name = "ArtifactStatus";
    static constexpr std::array<EnumEntry<E>, 4> entries{{
        {E::Registered, "registered", "Registered"},
        {E::Verified, "verified", "Verified"},
        {E::VerificationFailed, "verification_failed", "VerificationFailed"},
        {E::Revoked, "revoked", "Revoked"},
    }};
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::artifact::ReleaseArtifact> {
    using T = voreldeploy_contracts::artifact::ReleaseArtifact;
    static constexpr std::string_view name = "ReleaseArtifact";
    static constexpr auto list = std::make_tuple(
        field("id", &T::id), field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("product_id", &T::product_id), field("name", &T::name), field("version", &T::version),
        field("artifact_type", &T::artifact_type), field("object_ref", &T::object_ref),
        field("artifact_hash", &T::artifact_hash), field("signature_ref", &T::signature_ref),
        field("sbom_ref", &T::sbom_ref), field("provenance_ref", &T::provenance_ref), field("status", &T::status),
        field("created_at", &T::created_at));
};
