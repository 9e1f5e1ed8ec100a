#include "artifacts.hpp"

#include <vector>

namespace razavovivodidi::artifacts {

std::expected<Bundle, std::string> load_bundle(const std::filesystem::path& path) {
    auto entries = read_json<std::vector<BundleEntry>>(path);
    if (!entries) return std::unexpected(std::move(entries.error()));
    // A bare file name has an empty parent: payloads then resolve against
    // the working directory, where the bundle itself is.
    const std::filesystem::path base = path.has_parent_path() || path.has_filename() ? path.parent_path() : ".";
    Bundle bundle;
    for (BundleEntry& entry : *entries) {
        const std::filesystem::path payload(entry.payload_file);
        const auto id = entry.artifact.id;
        bundle.insert_or_assign(id, LoadedArtifact{std::move(entry.artifact),
                                                   payload.is_absolute() ? payload : base / payload});
    }
    return bundle;
}

}  // namespace razavovivodidi::artifacts
