#pragma once
// The compliance vocabulary a policy pack speaks: the categories of control a
// pack can address, and what a pack says about each of its rules.
#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>

#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/enum_table.hpp"

namespace vorelpolicy_contracts::controls {

enum class ControlCategory : std::uint8_t {
    Access,
    Authentication,
    DevicePosture,
    Encryption,
    Retention,
    Backup,
    Monitoring,
    PatchManagement,
    UpdateManagement,
    NetworkExposure,
    Federation,
    Audit,
    Privacy,
    Deployment,
    IncidentResponse,
};

// The display name (e.g. DevicePosture).
std::ostream& operator<<(std::ostream& out, ControlCategory category);

// What a pack tells about one of its rules. Nothing in this system
// interprets it; it travels with the pack for the people who read it.
struct RuleMeta {
    std::string control_id;
    std::string description;  // empty when the document leaves it out
    std::string remediation;  // empty when the document leaves it out

    friend bool operator==(const RuleMeta&, const RuleMeta&) = default;
};

}  // namespace vorelpolicy_contracts::controls

template <>
struct vorelcore_json::EnumTable<vorelpolicy_contracts::controls::ControlCategory> {
    using E = vorelpolicy_contracts::controls::ControlCategory;
    static constexpr std::string_view type_name = "ControlCategory";
    static constexpr std::array<EnumEntry<E>, 15> entries{{
        {E::Access, "access", "Access"},
        {E::Authentication, "authentication", "Authentication"},
        {E::DevicePosture, "device_posture", "DevicePosture"},
        {E::Encryption, "encryption", "Encryption"},
        {E::Retention, "retention", "Retention"},
        {E::Backup, "backup", "Backup"},
        {E::Monitoring, "monitoring", "Monitoring"},
        {E::PatchManagement, "patch_management", "PatchManagement"},
        {E::UpdateManagement, "update_management", "UpdateManagement"},
        {E::NetworkExposure, "network_exposure", "NetworkExposure"},
        {E::Federation, "federation", "Federation"},
        {E::Audit, "audit", "Audit"},
        {E::Privacy, "privacy", "Privacy"},
        {E::Deployment, "deployment", "Deployment"},
        {E::IncidentResponse, "incident_response", "IncidentResponse"},
    }};
};

// All three members are always written; the two texts read as empty when
// missing.
template <>
struct vorelcore_json::Fields<vorelpolicy_contracts::controls::RuleMeta> {
    using T = vorelpolicy_contracts::controls::RuleMeta;
    static constexpr std::string_view name = "RuleMeta";
    static constexpr auto list =
        std::make_tuple(field("control_id", &T::control_id), field_default("description", &T::description),
                        field_default("remediation", &T::remediation));
};
