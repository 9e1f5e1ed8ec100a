#pragma once
// The only component that touches a deployment target: an adapter carries
// out one typed step against one target and reports what happened. The
// engine decides what comes next and records it.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/run.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace voreldeploy_adapters {

// An artifact's bytes: in memory, or a file read (in chunks) when needed.
struct PayloadBytes {
    std::vector<std::uint8_t> bytes;
};
struct PayloadFile {
    std::filesystem::path path;
};
using ArtifactPayload = std::variant<PayloadBytes, PayloadFile>;

// What `apply` and `verify` are asked to do; everything is borrowed.
struct AdapterRequest {
    const voreldeploy_contracts::target::DeployTarget& target;
    const voreldeploy_contracts::plan::DeploymentStepKind& step;
    const voreldeploy_contracts::artifact::ReleaseArtifact* artifact = nullptr;
    const ArtifactPayload* payload = nullptr;
};

struct WrongTargetType {
    voreldeploy_contracts::target::TargetType found;
    friend bool operator==(const WrongTargetType&, const WrongTargetType&) = default;
};
struct UnsupportedStep {
    std::string label;
    friend bool operator==(const UnsupportedStep&, const UnsupportedStep&) = default;
};
struct MissingArtifactMetadata {
    friend bool operator==(const MissingArtifactMetadata&, const MissingArtifactMetadata&) = default;
};
struct ArtifactMismatch {
    friend bool operator==(const ArtifactMismatch&, const ArtifactMismatch&) = default;
};
struct MissingPayload {
    friend bool operator==(const MissingPayload&, const MissingPayload&) = default;
};
struct NothingToRollBack {
    friend bool operator==(const NothingToRollBack&, const NothingToRollBack&) = default;
};
struct RollbackTargetMissing {
    friend bool operator==(const RollbackTargetMissing&, const RollbackTargetMissing&) = default;
};
struct RollbackTargetCorrupted {
    friend bool operator==(const RollbackTargetCorrupted&, const RollbackTargetCorrupted&) = default;
};
struct CorruptState {
    std::string what;
    friend bool operator==(const CorruptState&, const CorruptState&) = default;
};
struct Io {
    std::string what;  // the operating system's words
    friend bool operator==(const Io&, const Io&) = default;
};

class AdapterError {
public:
    using Variant = std::variant<WrongTargetType, UnsupportedStep, MissingArtifactMetadata, ArtifactMismatch,
                                 MissingPayload, NothingToRollBack, RollbackTargetMissing, RollbackTargetCorrupted,
                                 CorruptState, Io>;

    template <class V>
        requires std::is_constructible_v<Variant, V>
    AdapterError(V v) : variant_(std::move(v)) {}

    const Variant& variant() const { return variant_; }
    template <class V>
    bool is() const {
        return std::holds_alternative<V>(variant_);
    }

    // The fixed display text.
    std::string message() const;

    friend bool operator==(const AdapterError&, const AdapterError&) = default;

private:
    Variant variant_;
};

std::ostream& operator<<(std::ostream& out, const AdapterError& e);

template <class T>
using AdapterResult = std::expected<T, AdapterError>;

// A `Failed` outcome is a normal result (the step ran and its effect is not
// acceptable); an error means the request could not be carried out at all.
class TargetAdapter {
public:
    virtual ~TargetAdapter() = default;
    virtual AdapterResult<voreldeploy_contracts::run::StepOutcome> apply(const AdapterRequest& request) = 0;
    virtual AdapterResult<voreldeploy_contracts::run::StepOutcome> verify(const AdapterRequest& request) const = 0;
    virtual AdapterResult<void> rollback(const voreldeploy_contracts::target::DeployTarget& target) = 0;
};

}  // namespace voreldeploy_adapters
