#pragma once
// The kind of environment a plan targets. The order matters: production,
// recovery and compliance review always need an explicit approval.
#include <array>
#include <cstdint>

#include "vorelcore_json/enum_table.hpp"

namespace voreldeploy_contracts::environment {

enum class EnvironmentType : std::uint8_t {
    Development,
    Sandbox,
    Staging,
    Production,
    Recovery,
    ComplianceReview,
    TestFixture,
};

}  // namespace voreldeploy_contracts::environment

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::environment::EnvironmentType> {
    using E = voreldeploy_contracts::environment::EnvironmentType;
    static constexpr std::string_view type_name = "EnvironmentType";
    static constexpr std::array<EnumEntry<E>, 7> entries{{
        {E::Development, "development", "Development"},
        {E::Sandbox, "sandbox", "Sandbox"},
        {E::Staging, "staging", "Staging"},
        {E::Production, "production", "Production"},
        {E::Recovery, "recovery", "Recovery"},
        {E::ComplianceReview, "compliance_review", "ComplianceReview"},
        {E::TestFixture, "test_fixture", "TestFixture"},
    }};
};
