#pragma once
// The vocabulary an audit event is written in: who acted, on what, with
// which outcome and severity, in which category, how long the record is
// kept, and which of its fields were redacted. The audit chain carries these
// records; the deployment engine fills them for run transitions.
//
// The encrypted members (`display_name_encrypted` here, `metadata_encrypted`
// of the event) are opaque bytes: nothing in this system encrypts, decrypts
// or interprets them; they are carried and hashed as they are.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"

namespace vorelcore_contracts::audit {

enum class ActorType : std::uint8_t {
    User,
    Administrator,
    Device,
    Service,
    Product,
    FederationPeer,
    System,
    Unknown,
};

enum class AuditOutcome : std::uint8_t { Success, Failure, Denied, Cancelled, Expired, Partial, Unknown };

// The audit scale; not the policy scale (no "low", "medium", "high" here).
enum class AuditSeverity : std::uint8_t { Info, Notice, Warning, Error, Critical };

enum class AuditCategory : std::uint8_t {
    Authentication,
    Authorization,
    Configuration,
    KeyManagement,
    DeviceManagement,
    DataAccess,
    ServiceLifecycle,
    NetworkExposure,
    Backup,
    Restore,
    Federation,
    Policy,
    Security,
    Privacy,
    System,
};

enum class RetentionClass : std::uint8_t {
    Ephemeral,
    Operational,
    Security,
    Compliance,
    PrivacySensitive,
    Debug,
    UserControlled,
    LegalHold,
};

enum class RedactionReason : std::uint8_t {
    PersonalData,
    Secret,
    Location,
    UserContent,
    PolicyRequired,
    SubjectRequest,
    AudienceRestricted,
    Oversized,
};

// Opaque bytes, written as a JSON array of integers 0..255.
using OpaqueBytes = std::vector<std::uint8_t>;

struct AuditActor {
    ActorType actor_type = ActorType::Unknown;
    std::optional<std::string> actor_id;
    std::optional<OpaqueBytes> display_name_encrypted;

    friend bool operator==(const AuditActor&, const AuditActor&) = default;
};

struct AuditTarget {
    std::string target_type;
    std::optional<std::string> target_id;

    friend bool operator==(const AuditTarget&, const AuditTarget&) = default;
};

// Records that one field of an event was redacted, and why.
struct RedactionMarker {
    std::string field_path;
    RedactionReason reason = RedactionReason::PolicyRequired;
    std::optional<ids::PolicyId> redaction_policy_id;
    std::optional<time::Timestamp> applied_at;
    std::optional<ids::IdentityId> applied_by;

    friend bool operator==(const RedactionMarker&, const RedactionMarker&) = default;
};

}  // namespace vorelcore_contracts::audit

template <>
struct vorelcore_json::EnumTable<vorelcore_contracts::audit::ActorType> {
    using E = vorelcore_contracts::audit::ActorType;
    static constexpr std::string_view type_name = "ActorType";
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

template <>
struct vorelcore_json::EnumTable<vorelcore_contracts::audit::AuditOutcome> {
    using E = vorelcore_contracts::audit::AuditOutcome;
    static constexpr std::string_view type_name = "AuditOutcome";
    static constexpr std::array<EnumEntry<E>, 7> entries{{
        {E::Success, "success", "Success"},
        {E::Failure, "failure", "Failure"},
        {E::Denied, "denied", "Denied"},
        {E::Cancelled, "cancelled", "Cancelled"},
        {E::Expired, "expired", "Expired"},
        {E::Partial, "partial", "Partial"},
        {E::Unknown, "unknown", "Unknown"},
    }};
};

template <>
struct vorelcore_json::EnumTable<vorelcore_contracts::audit::AuditSeverity> {
    using E = vorelcore_contracts::audit::AuditSeverity;
    static constexpr std::string_view type_name = "AuditSeverity";
    static constexpr std::array<EnumEntry<E>, 5> entries{{
        {E::Info, "info", "Info"},
        {E::Notice, "notice", "Notice"},
        {E::Warning, "warning", "Warning"},
        {E::Error, "error", "Error"},
        {E::Critical, "critical", "Critical"},
    }};
};

template <>
struct vorelcore_json::EnumTable<vorelcore_contracts::audit::AuditCategory> {
    using E = vorelcore_contracts::audit::AuditCategory;
    static constexpr std::string_view type_name = "AuditCategory";
    static constexpr std::array<EnumEntry<E>, 15> entries{{
        {E::Authentication, "authentication", "Authentication"},
        {E::Authorization, "authorization", "Authorization"},
        {E::Configuration, "configuration", "Configuration"},
        {E::KeyManagement, "key_management", "KeyManagement"},
        {E::DeviceManagement, "device_management", "DeviceManagement"},
        {E::DataAccess, "data_access", "DataAccess"},
        {E::ServiceLifecycle, "service_lifecycle", "ServiceLifecycle"},
        {E::NetworkExposure, "network_exposure", "NetworkExposure"},
        {E::Backup, "backup", "Backup"},
        {E::Restore, "restore", "Restore"},
        {E::Federation, "federation", "Federation"},
        {E::Policy, "policy", "Policy"},
        {E::Security, "security", "Security"},
        {E::Privacy, "privacy", "Privacy"},
        {E::System, "system", "System"},
    }};
};

template <>
struct vorelcore_json::EnumTable<vorelcore_contracts::audit::RetentionClass> {
    using E = vorelcore_contracts::audit::RetentionClass;
    static constexpr std::string_view type_name = "RetentionClass";
    static constexpr std::array<EnumEntry<E>, 8> entries{{
        {E::Ephemeral, "ephemeral", "Ephemeral"},
        {E::Operational, "operational", "Operational"},
        {E::Security, "security", "Security"},
        {E::Compliance, "compliance", "Compliance"},
        {E::PrivacySensitive, "privacy_sensitive", "PrivacySensitive"},
        {E::Debug, "debug", "Debug"},
        {E::UserControlled, "user_controlled", "UserControlled"},
        {E::LegalHold, "legal_hold", "LegalHold"},
    }};
};

template <>
struct vorelcore_json::EnumTable<vorelcore_contracts::audit::RedactionReason> {
    using E = vorelcore_contracts::audit::RedactionReason;
    static constexpr std::string_view type_name = "RedactionReason";
    static constexpr std::array<EnumEntry<E>, 8> entries{{
        {E::PersonalData, "personal_data", "PersonalData"},
        {E::Secret, "secret", "Secret"},
        {E::Location, "location", "Location"},
        {E::UserContent, "user_content", "UserContent"},
        {E::PolicyRequired, "policy_required", "PolicyRequired"},
        {E::SubjectRequest, "subject_request", "SubjectRequest"},
        {E::AudienceRestricted, "audience_restricted", "AudienceRestricted"},
        {E::Oversized, "oversized", "Oversized"},
    }};
};

template <>
struct vorelcore_json::Fields<vorelcore_contracts::audit::AuditActor> {
    using T = vorelcore_contracts::audit::AuditActor;
    static constexpr std::string_view name = "AuditActor";
    static constexpr auto list = std::make_tuple(field("actor_type", &T::actor_type), field("actor_id", &T::actor_id),
                                                 field("display_name_encrypted", &T::display_name_encrypted));
};

template <>
struct vorelcore_json::Fields<vorelcore_contracts::audit::AuditTarget> {
    using T = vorelcore_contracts::audit::AuditTarget;
    static constexpr std::string_view name = "AuditTarget";
    static constexpr auto list =
        std::make_tuple(field("target_type", &T::target_type), field("target_id", &T::target_id));
};

template <>
struct vorelcore_json::Fields<vorelcore_contracts::audit::RedactionMarker> {
    using T = vorelcore_contracts::audit::RedactionMarker;
    static constexpr std::string_view name = "RedactionMarker";
    static constexpr auto list =
        std::make_tuple(field("field_path", &T::field_path), field("reason", &T::reason),
                        field("redaction_policy_id", &T::redaction_policy_id), field("applied_at", &T::applied_at),
                        field("applied_by", &T::applied_by));
};
