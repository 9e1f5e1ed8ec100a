#pragma once
// The engine's single gate for proving a release: the manifest must arrive
// in an envelope made for exactly this purpose, signed by the expected key,
// unexpired, and the manifest itself must be published.
#include <expected>
#include <string>
#include <vector>

#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/envelope.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_engine/error.hpp"

namespace voreldeploy_engine::manifest {

using SignedManifest = vorelcore_crypto::envelope::SignedEnvelope<voreldeploy_contracts::manifest::ReleaseManifest>;

// The associated data binding an envelope to the role of a release manifest
// of this product, so an envelope signed for another purpose cannot be
// replayed as one: ["voreldeploy", "release-manifest"].
std::vector<std::string> manifest_envelope_context();

// Any failure to open the envelope (version, context, signature, expiry) is
// the one signature error; only then is the manifest's status looked at.
std::expected<void, error::EngineError> verify_manifest(const SignedManifest& envelope,
                                                        const vorelcore_crypto::keys::VerifyingKey& key,
                                                        const vorelcore_contracts::time::Timestamp& now);

}  // namespace voreldeploy_engine::manifest
