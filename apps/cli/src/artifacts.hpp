#pragma once
// The artifact bundle (--artifacts): which bytes belong to which artifact.
// Payload files are not opened here; the adapter streams them when a step
// needs them.
#include <expected>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "document_io.hpp"
#include "voreldeploy_contracts/artifact.hpp"

namespace razavovivodidi::artifacts {

struct BundleEntry {
    voreldeploy_contracts::artifact::ReleaseArtifact artifact;
    std::string payload_file;  // absolute, or relative to the bundle's directory

    friend bool operator==(const BundleEntry&, const BundleEntry&) = default;
};

struct LoadedArtifact {
    voreldeploy_contracts::artifact::ReleaseArtifact artifact;
    std::filesystem::path payload;  // resolved
};

using Bundle = std::map<voreldeploy_contracts::ids::ArtifactId, LoadedArtifact>;

// Reads the bundle and resolves relative payload paths next to it, so they
// name the same files whatever the working directory. A later entry for an
// id replaces an earlier one.
std::expected<Bundle, std::string> load_bundle(const std::filesystem::path& path);

}  // namespace razavovivodidi::artifacts

template <>
struct vorelcore_json::Fields<razavovivodidi::artifacts::BundleEntry> {
    using T = razavovivodidi::artifacts::BundleEntry;
    static constexpr std::string_view name = "BundleEntry";
    static constexpr auto list = std::make_tuple(field("artifact", &T::artifact), field("payload_file", &T::payload_file));
};

template <>
struct razavovivodidi::DocumentLabel<razavovivodidi::artifacts::BundleEntry> {
    static std::string value() { return "razavovivodidi::artifacts::BundleEntry"; }
};
