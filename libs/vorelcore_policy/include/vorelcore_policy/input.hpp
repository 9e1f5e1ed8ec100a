#pragma once
// What a decision is asked about: who asks to do what to which resource,
// under which facts and context, and when. Its input hash binds a decision
// to exactly this request.
#include <array>
#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"

namespace vorelcore_policy::input {

enum class PolicyActorType : std::uint8_t {
    User,
    Administrator,
    Device,
    Service,
    Product,
    FederationPeer,
    System,
    Unknown,
};

struct PolicyInput {
    vorelcore_contracts::ids::TenantId tenant_id;
    vorelcore_contracts::ids::WorkspaceId workspace_id;
    vorelcore_contracts::ids::ProductId product_id;
    std::string resource_type;
    std::string resource_id;
    PolicyActorType actor_type = PolicyActorType::Unknown;
    std::string actor_id;
    std::string action;  // the canonical text of the action asked about
    std::map<std::string, std::string> facts;
    std::map<std::string, std::string> context;
    vorelcore_contracts::time::Timestamp requested_at;
    std::uint16_t schema_version = 0;

    // BLAKE3 of the canonical bytes of the whole input, every member
    // included; fails only when the input cannot be canonicalised.
    std::expected<vorelcore_crypto::hash::ContentHash, vorelcore_error::CoreError> input_hash() const;

    friend bool operator==(const PolicyInput&, const PolicyInput&) = default;
};

}  // namespace vorelcore_policy::input

template <>
struct vorelcore_json::EnumTable<vorelcore_policy::input::PolicyActorType> {
    using E = vorelcore_policy::input::PolicyActorType;
    static constexpr std::string_view type_name = "PolicyActorType";
    static constexpr std::array<EnumEntry<E>, 8> entries{{
        {E::User, "user", "User"},
        {E::Administrator, "administrator", "Administrator"},
        {E::Device, "device", "Device"},
        {E::Service, "service", "Service"},
        {E::Product, "product", "Product"},
        {E::FederationPeer, "federation_peer", "FederationPeer"},
        {E::System, "system", "System"},
        {E::Unknown, "unknown", "Unknown"},
    }};
};

// All twelve members are always written; `facts` and `context` read as
// empty when missing.
template <>
struct vorelcore_json::Fields<vorelcore_policy::input::PolicyInput> {
    using T = vorelcore_policy::input::PolicyInput;
    static constexpr std::string_view name = "PolicyInput";
    static constexpr auto list = std::make_tuple(
        field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("product_id", &T::product_id), field("resource_type", &T::resource_type),
        field("resource_id", &T::resource_id), field("actor_type", &T::actor_type), field("actor_id", &T::actor_id),
        field("action", &T::action), field_default("facts", &T::facts), field_default("context", &T::context),
        field("requested_at", &T::requested_at), field("schema_version", &T::schema_version));
};
