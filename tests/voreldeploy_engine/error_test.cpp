#include <gtest/gtest.h>

#include "voreldeploy_engine/error.hpp"

namespace voreldeploy_engine::error {
namespace {

using voreldeploy_contracts::manifest::ManifestStatus;
using voreldeploy_contracts::plan::PlanStatus;
using voreldeploy_contracts::rollback::RollbackStatus;
using voreldeploy_contracts::run::RunStatus;

TEST(EngineError, EveryVariantShowsItsFixedText) {
    const std::pair<EngineError, const char*> cases[] = {
        {ManifestSignatureInvalid{}, "release manifest signature verification failed"},
        {ManifestNotPublished{ManifestStatus::Revoked}, "release manifest is not published: Revoked"},
        {PlanInvalid{"plan has no steps"}, "deployment plan rejected: plan has no steps"},
        {PlanNotApproved{PlanStatus::WaitingApproval}, "deployment plan is not approved (status: WaitingApproval)"},
        {InvalidRunTransition{RunStatus::Succeeded, RunStatus::RolledBack},
         "invalid run transition from Succeeded to RolledBack"},
        {NoPendingStep{3}, "run has no pending step at index 3"},
        {RollbackNotCompatible{}, "rollback target manifest is not declared compatible with the current release"},
        {RollbackNotApproved{RollbackStatus::BlockedByPolicy}, "rollback plan is not approved (status: BlockedByPolicy)"},
        {ChainIntegrityFailed{}, "transition chain integrity check failed"},
        {AuditChainFailed{}, "could not build or extend the run's audit chain"},
    };
    for (const auto& [error, text] : cases) EXPECT_EQ(error.message(), text);
}

TEST(EngineError, AContractErrorBecomesARejectedPlan) {
    const EngineError e = voreldeploy_contracts::error::ContractError{"steps", "a plan must contain at least one step"};
    EXPECT_TRUE(e.is<PlanInvalid>());
    EXPECT_EQ(e.message(), "deployment plan rejected: invalid steps: a plan must contain at least one step");
}

}  // namespace
}  // namespace voreldeploy_engine::error
