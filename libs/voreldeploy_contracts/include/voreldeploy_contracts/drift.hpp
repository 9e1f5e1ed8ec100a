#pragma once
// The desired and observed metadata of a deployed resource, and the drift
// check that compares them. Facts describe a resource by safe metadata
// only: names and references as slugs, contents as digests, the presence of
// a network policy as a flag, and a secret reference by its name, never by
// the secret's value.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"
#include "vorelcore_policy/decision.hpp"
#include "voreldeploy_contracts/ids.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace voreldeploy_contracts::drift {

// One alternative per kind of fact; each holds its value as `value`.
struct ResourceKind {
    vorelcore_contracts::ids::Slug value;
    friend bool operator==(const ResourceKind&, const ResourceKind&) = default;
};
struct ResourceNameSafe {
    vorelcore_contracts::ids::Slug value;
    friend bool operator==(const ResourceNameSafe&, const ResourceNameSafe&) = default;
};
struct Version {
    std::string value;
    friend bool operator==(const Version&, const Version&) = default;
};
struct ImageDigest {
    vorelcore_crypto::hash::ContentHash value;
    friend bool operator==(const ImageDigest&, const ImageDigest&) = default;
};
struct ConfigHash {
    vorelcore_crypto::hash::ContentHash value;
    friend bool operator==(const ConfigHash&, const ConfigHash&) = default;
};
struct ReplicaCount {
    std::uint32_t value = 0;
    friend bool operator==(const ReplicaCount&, const ReplicaCount&) = default;
};
struct NetworkPolicyPresent {
    bool value = false;
    friend bool operator==(const NetworkPolicyPresent&, const NetworkPolicyPresent&) = default;
};
struct SecretReferencePresent {
    vorelcore_contracts::ids::Slug value;  // the name of the secret reference found
    friend bool operator==(const SecretReferencePresent&, const SecretReferencePresent&) = default;
};
struct CertificateReference {
    std::string value;
    friend bool operator==(const CertificateReference&, const CertificateReference&) = default;
};
struct HealthStatus {
    target::TargetHealth value = target::TargetHealth::Unknown;
    friend bool operator==(const HealthStatus&, const HealthStatus&) = default;
};
struct Region {
    vorelcore_contracts::ids::RegionId value;
    friend bool operator==(const Region&, const Region&) = default;
};

// One piece of safe metadata. Written adjacently tagged:
// {"fact": <kind>, "value": <value>}. Two facts are equal when they have the
// same kind and equal values (hashes: same algorithm and all digest bytes).
using DriftFact = std::variant<ResourceKind, ResourceNameSafe, Version, ImageDigest, ConfigHash, ReplicaCount,
                               NetworkPolicyPresent, SecretReferencePresent, CertificateReference, HealthStatus,
                               Region>;

// The "fact" spellings, in variant order.
inline constexpr std::array<std::string_view, 11> kDriftFactNames{
    "resource_kind",          "resource_name_safe",       "version",
    "image_digest",           "config_hash",              "replica_count",
    "network_policy_present", "secret_reference_present", "certificate_reference",
    "health_status",          "region",
};

// The name under which desired and observed facts are matched and findings
// reported: the kind itself, except for `resource_name_safe`.
inline constexpr std::array<std::string_view, 11> kDriftKeys{
    "resource_kind",          "resource_name",            "version",
    "image_digest",           "config_hash",              "replica_count",
    "network_policy_present", "secret_reference_present", "certificate_reference",
    "health_status",          "region",
};
static_assert(kDriftFactNames.size() == std::variant_size_v<DriftFact> && kDriftKeys.size() == kDriftFactNames.size());

inline std::string_view fact_name(const DriftFact& fact) { return kDriftFactNames[fact.index()]; }
inline std::string_view drift_key(const DriftFact& fact) { return kDriftKeys[fact.index()]; }

enum class DriftStatus : std::uint8_t { InSync, Drifted, Unknown };

// One difference between desired and observed facts under one drift key.
struct DriftFinding {
    std::string fact_kind;  // the drift key
    std::optional<DriftFact> desired;
    std::optional<DriftFact> observed;

    friend bool operator==(const DriftFinding&, const DriftFinding&) = default;
};

// The result of one comparison; its number of findings is the drift count.
struct DriftCheck {
    ids::DriftCheckId id;
    ids::EnvironmentId environment_id;
    ids::TargetId target_id;
    std::vector<DriftFact> desired;   // as supplied
    std::vector<DriftFact> observed;  // as supplied
    DriftStatus status = DriftStatus::Unknown;
    vorelcore_policy::decision::PolicySeverity severity = vorelcore_policy::decision::PolicySeverity::Info;
    std::vector<DriftFinding> drift_summary;  // in drift-key order
    std::optional<std::string> workflow_ref;
    vorelcore_contracts::time::Timestamp checked_at;

    friend bool operator==(const DriftCheck&, const DriftCheck&) = default;
};

}  // namespace voreldeploy_contracts::drift

// Adjacently tagged: the kind under "fact", the value under "value". Faults
// are reported where they stand (the tag's closing quote for an unknown
// kind, the value's last byte for a bad value, the closing brace for a
// missing member); members other than these two are skipped.
template <>
struct vorelcore_json::Codec<voreldeploy_contracts::drift::DriftFact> {
    static ReadResult<voreldeploy_contracts::drift::DriftFact> read(const Value& value);
    static Value write(const voreldeploy_contracts::drift::DriftFact& fact);
};

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::drift::DriftStatus> {
    using E = voreldeploy_contracts::drift::DriftStatus;
    static constexpr std::string_view type_name = "DriftStatus";
    static constexpr std::array<EnumEntry<E>, 3> entries{{
        {E::InSync, "in_sync", "InSync"},
        {E::Drifted, "drifted", "Drifted"},
        {E::Unknown, "unknown", "Unknown"},
    }};
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::drift::DriftFinding> {
    using T = voreldeploy_contracts::drift::DriftFinding;
    static constexpr std::string_view name = "DriftFinding";
    static constexpr auto list = std::make_tuple(field("fact_kind", &T::fact_kind), field("desired", &T::desired),
                                                 field("observed", &T::observed));
};

template <>
struct vorelcore_json::Fields<voreldeploy_contracts::drift::DriftCheck> {
    using T = voreldeploy_contracts::drift::DriftCheck;
    static constexpr std::string_view name = "DriftCheck";
    static constexpr auto list = std::make_tuple(
        field("id", &T::id), field("environment_id", &T::environment_id), field("target_id", &T::target_id),
        field_omit_empty("desired", &T::desired), field_omit_empty("observed", &T::observed),
        field("status", &T::status), field("severity", &T::severity),
        field_omit_empty("drift_summary", &T::drift_summary), field("workflow_ref", &T::workflow_ref),
        field("checked_at", &T::checked_at));
};
