#pragma once
// Deploys release artifacts into a directory: each artifact is materialised
// under its id, verified against its declared digest before it is
// activated, and ACTIVE names the active release. Files are replaced by
// write, flush, rename, flush-directory, so neither a crash nor a power cut
// leaves a half-written release or a pointer to bytes that never reached
// the disk. Payloads are hashed and copied in fixed-size chunks, so memory
// does not grow with the artifact.
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "vorelcore_crypto/hash.hpp"
#include "voreldeploy_adapters/adapter.hpp"

namespace voreldeploy_adapters::local_fs {

// The text of an ACTIVE file: an artifact id, surrounding white space
// allowed; empty (or only white space) means no release is active. More
// than 4096 bytes, or text that is not an artifact id, is CorruptState;
// bytes that are not UTF-8 are an Io error, as any unreadable file.
AdapterResult<std::optional<voreldeploy_contracts::ids::ArtifactId>> parse_active_pointer(std::string_view text);

class LocalFilesystemAdapter final : public TargetAdapter {
public:
    // Touches nothing on disk.
    explicit LocalFilesystemAdapter(std::filesystem::path root) : root_(std::move(root)) {}

    AdapterResult<voreldeploy_contracts::run::StepOutcome> apply(const AdapterRequest& request) override;
    AdapterResult<voreldeploy_contracts::run::StepOutcome> verify(const AdapterRequest& request) const override;
    AdapterResult<void> rollback(const voreldeploy_contracts::target::DeployTarget& target) override;

    const std::filesystem::path& root() const { return root_; }

private:
    using ArtifactId = voreldeploy_contracts::ids::ArtifactId;

    AdapterResult<voreldeploy_contracts::run::StepOutcome> apply_artifact(const AdapterRequest& request);
    AdapterResult<voreldeploy_contracts::run::StepOutcome> verify_active() const;
    AdapterResult<std::optional<ArtifactId>> read_active() const;
    AdapterResult<void> write_active(const std::optional<ArtifactId>& id) const;
    std::filesystem::path release_path(const ArtifactId& id) const;

    std::filesystem::path root_;
    // Digests this adapter value recorded when it activated each artifact.
    std::map<ArtifactId, vorelcore_crypto::hash::ContentHash> applied_;
    // The previously active release, pushed by each successful activation.
    std::vector<std::optional<ArtifactId>> history_;
};

}  // namespace voreldeploy_adapters::local_fs
