#pragma once
// Deployment runs.
#include <array>
#include <cstdint>

#include "vorelcore_json/enum_table.hpp"

namespace voreldeploy_contracts::run {

enum class RunStatus : std::uint8_t {
    Queued,
    WaitingApproval,
    Running,
    Succeeded,
    Failed,
    Cancelled,
    RolledBack,
    BlockedByPolicy,
};

}  // namespace voreldeploy_contracts::run

template <>
struct vorelcore_json::EnumTable<voreldeploy_contracts::run::RunStatus> {
    using E = voreldeploy_contracts::run::RunStatus;
    static constexpr std::string_view type_name = "RunStatus";
    static constexpr std::array<EnumEntry<E>, 8> entries{{
        {E::Queued, "queued", "Queued"},
        {E::WaitingApproval, "waiting_approval", "WaitingApproval"},
        {E::Running, "running", "Running"},
        {E::Succeeded, "succeeded", "Succeeded"},
        {E::Failed, "failed", "Failed"},
        {E::Cancelled, "cancelled", "Cancelled"},
        {E::RolledBack, "rolled_back", "RolledBack"},
        {E::BlockedByPolicy, "blocked_by_policy", "BlockedByPolicy"},
    }};
};
