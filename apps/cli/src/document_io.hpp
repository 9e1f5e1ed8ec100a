#pragma once
// Documents on disk: every document a command reads or writes is one JSON
// value in one UTF-8 file. Errors come back as their one-line display texts
// in the forms "reading {path}: {why}", "parsing {path} as {label}: {why}"
// and "writing {path}: {why}".
#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_crypto/envelope.hpp"
#include "vorelcore_error/text.hpp"
#include "vorelcore_json/codec.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/drift.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/rollback.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace razavovivodidi {

// The label a document type shows in parse errors: its qualified name in
// this program's layout (library, module, type).
template <class T>
struct DocumentLabel;

template <>
struct DocumentLabel<voreldeploy_contracts::plan::DeploymentPlan> {
    static std::string value() { return "voreldeploy_contracts::plan::DeploymentPlan"; }
};
template <>
struct DocumentLabel<voreldeploy_contracts::approval::ApprovalRecord> {
    static std::string value() { return "voreldeploy_contracts::approval::ApprovalRecord"; }
};
template <>
struct DocumentLabel<voreldeploy_contracts::manifest::ReleaseManifest> {
    static std::string value() { return "voreldeploy_contracts::manifest::ReleaseManifest"; }
};
template <>
struct DocumentLabel<voreldeploy_contracts::target::DeployTarget> {
    static std::string value() { return "voreldeploy_contracts::target::DeployTarget"; }
};
template <>
struct DocumentLabel<voreldeploy_contracts::rollback::RollbackPlan> {
    static std::string value() { return "voreldeploy_contracts::rollback::RollbackPlan"; }
};
template <>
struct DocumentLabel<voreldeploy_contracts::drift::DriftFact> {
    static std::string value() { return "voreldeploy_contracts::drift::DriftFact"; }
};
template <class T>
struct DocumentLabel<vorelcore_crypto::envelope::SignedEnvelope<T>> {
    static std::string value() { return "vorelcore_crypto::envelope::SignedEnvelope<" + DocumentLabel<T>::value() + ">"; }
};
template <class T>
struct DocumentLabel<std::vector<T>> {
    static std::string value() { return "std::vector<" + DocumentLabel<T>::value() + ">"; }
};

using vorelcore_error::os_error_text;

// The whole file as text; fails on any read error and on bytes that are not
// UTF-8 ("stream did not contain valid UTF-8").
std::expected<std::string, std::string> read_text_file(const std::filesystem::path& path);

// Replaces the file at `path` with `bytes`, never leaving a truncated file
// where a good one stood: a temporary file beside the target is written,
// flushed to disk and renamed over it (a symlink is followed and what it
// points to is replaced). A path that exists but is not a regular file (a
// FIFO, /dev/stdout) is written directly. Missing parent directories are
// created first. `mode` sets the new file's permission bits; by default a
// replaced file keeps its bits and a new one gets 0666 less the umask.
std::expected<void, std::string> write_file(const std::filesystem::path& path, std::string_view bytes,
                                            std::optional<mode_t> mode = std::nullopt);

// The same replacement for bytes that are not a document (payload files):
// any failure is the operating system's error text alone.
std::expected<void, std::string> write_raw_file(const std::filesystem::path& path, std::string_view bytes);

template <vorelcore_json::HasCodec T>
std::expected<T, std::string> read_json(const std::filesystem::path& path) {
    auto text = read_text_file(path);
    if (!text) return std::unexpected(std::move(text.error()));
    auto document = vorelcore_json::from_text<T>(*text);
    if (!document) {
        return std::unexpected("parsing " + path.string() + " as " + DocumentLabel<T>::value() + ": " +
                               document.error());
    }
    return std::move(*document);
}

// Pretty JSON with no newline at the end.
template <vorelcore_json::HasCodec T>
std::expected<void, std::string> write_json(const std::filesystem::path& path, const T& value,
                                            std::optional<mode_t> mode = std::nullopt) {
    return write_file(path, vorelcore_json::to_pretty(value), mode);
}

// Pretty JSON and one newline on standard output.
template <vorelcore_json::HasCodec T>
std::expected<void, std::string> print_json(const T& value) {
    std::cout << vorelcore_json::to_pretty(value) << '\n' << std::flush;
    return {};
}

}  // namespace razavovivodidi
