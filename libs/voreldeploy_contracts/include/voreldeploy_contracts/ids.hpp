#pragma once
// The deployment identifier types: each a distinct UUID type, so a plan id
// can never be passed where a manifest id is expected.
#include "vorelcore_contracts/ids.hpp"

namespace voreldeploy_contracts::ids {

VOREL_UUID_IDENTIFIER(ArtifactId)
VOREL_UUID_IDENTIFIER(ManifestId)
VOREL_UUID_IDENTIFIER(EnvironmentId)
VOREL_UUID_IDENTIFIER(TargetId)
VOREL_UUID_IDENTIFIER(PlanId)
VOREL_UUID_IDENTIFIER(ApprovalId)
VOREL_UUID_IDENTIFIER(RunId)
VOREL_UUID_IDENTIFIER(RollbackPlanId)
VOREL_UUID_IDENTIFIER(EvidenceId)
VOREL_UUID_IDENTIFIER(DriftCheckId)

}  // namespace voreldeploy_contracts::ids
