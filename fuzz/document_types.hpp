#pragma once
// Every document type the program reads or writes, in the order of the
// typed-documents target's selector byte (new types go at the end so saved
// inputs keep their meaning), each with the name its seed files use.
#include <string_view>
#include <tuple>
#include <vector>

#include "artifacts.hpp"
#include "keystore.hpp"
#include "policy.hpp"
#include "trust_store.hpp"
#include "vorelcore_audit/event.hpp"
#include "vorelcore_crypto/encrypted.hpp"
#include "vorelcore_policy/eval.hpp"
#include "vorelcore_policy/input.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/drift.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/rollback.hpp"
#include "voreldeploy_contracts/run.hpp"
#include "voreldeploy_contracts/target.hpp"
#include "voreldeploy_engine/manifest.hpp"
#include "vorelpolicy_bundle/bundle.hpp"

namespace vorel_fuzz {

template <class T>
struct Document {
    using type = T;
    std::string_view name;
};

inline constexpr auto kDocumentTypes = std::make_tuple(
    Document<voreldeploy_contracts::plan::DeploymentPlan>{"plan"},
    Document<voreldeploy_contracts::manifest::ReleaseManifest>{"manifest"},
    Document<voreldeploy_engine::manifest::SignedManifest>{"signed_manifest"},
    Document<vorelcore_policy::eval::PolicyRuleset>{"ruleset"},
    Document<vorelcore_policy::eval::SignedPolicyRuleset>{"signed_ruleset"},
    Document<vorelpolicy_bundle::bundle::SignedPolicyBundle>{"signed_bundle"},
    Document<voreldeploy_contracts::target::DeployTarget>{"target"},
    Document<voreldeploy_contracts::approval::ApprovalRecord>{"approval"},
    Document<voreldeploy_contracts::rollback::RollbackPlan>{"rollback_plan"},
    Document<std::vector<voreldeploy_contracts::drift::DriftFact>>{"drift_facts"},
    Document<std::vector<razavovivodidi::artifacts::BundleEntry>>{"bundle_entries"},
    Document<razavovivodidi::policy::PolicyRequestFields>{"request_fields"},
    Document<razavovivodidi::trust_store::TrustStore>{"trust_store"},
    Document<razavovivodidi::keystore::SealedSigningKeyFile>{"sealed_key_file"},
    Document<voreldeploy_contracts::run::DeploymentRun>{"run"},
    Document<voreldeploy_contracts::artifact::ReleaseArtifact>{"artifact"},
    Document<vorelcore_audit::event::SignedAuditEvent>{"audit_event"},
    Document<vorelcore_policy::input::PolicyInput>{"policy_input"},
    Document<voreldeploy_contracts::drift::DriftCheck>{"drift_check"},
    Document<vorelcore_crypto::envelope::EncryptedEnvelope>{"encrypted_envelope"},
    Document<vorelpolicy_bundle::bundle::PolicyBundleBody>{"bundle_body"});

}  // namespace vorel_fuzz
