#include "voreldeploy_engine/manifest.hpp"

namespace voreldeploy_engine::manifest {

using voreldeploy_contracts::manifest::ManifestStatus;

std::vector<std::string> manifest_envelope_context() { return {"voreldeploy", "release-manifest"}; }

std::expected<void, error::EngineError> verify_manifest(const SignedManifest& envelope,
                                                        const vorelcore_crypto::keys::VerifyingKey& key,
                                                        const vorelcore_contracts::time::Timestamp& now) {
    // The reason opening failed is deliberately not passed on: whether the
    // version, the context, the signature or the expiry was wrong, the
    // release is not proven.
    if (!envelope.verify(key, now, manifest_envelope_context())) {
        return std::unexpected(error::ManifestSignatureInvalid{});
    }
    if (envelope.payload.status != ManifestStatus::Published) {
        return std::unexpected(error::ManifestNotPublished{envelope.payload.status});
    }
    return {};
}

}  // namespace voreldeploy_engine::manifest
