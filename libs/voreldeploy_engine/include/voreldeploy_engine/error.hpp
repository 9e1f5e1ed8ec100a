#pragma once
// The one error type of the deployment engine.
#include <cstddef>
#include <ostream>
#include <string>
#include <variant>

#include "voreldeploy_contracts/error.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/rollback.hpp"
#include "voreldeploy_contracts/run.hpp"

namespace voreldeploy_engine::error {

struct ManifestSignatureInvalid {
    friend bool operator==(const ManifestSignatureInvalid&, const ManifestSignatureInvalid&) = default;
};
struct ManifestNotPublished {
    voreldeploy_contracts::manifest::ManifestStatus status;
    friend bool operator==(const ManifestNotPublished&, const ManifestNotPublished&) = default;
};
struct PlanInvalid {
    std::string reason;
    friend bool operator==(const PlanInvalid&, const PlanInvalid&) = default;
};
struct PlanNotApproved {
    voreldeploy_contracts::plan::PlanStatus status;
    friend bool operator==(const PlanNotApproved&, const PlanNotApproved&) = default;
};
struct InvalidRunTransition {
    voreldeploy_contracts::run::RunStatus from;
    voreldeploy_contracts::run::RunStatus to;
    friend bool operator==(const InvalidRunTransition&, const InvalidRunTransition&) = default;
};
struct NoPendingStep {
    std::size_t index;
    friend bool operator==(const NoPendingStep&, const NoPendingStep&) = default;
};
struct RollbackNotCompatible {
    friend bool operator==(const RollbackNotCompatible&, const RollbackNotCompatible&) = default;
};
struct RollbackNotApproved {
    voreldeploy_contracts::rollback::RollbackStatus status;
    friend bool operator==(const RollbackNotApproved&, const RollbackNotApproved&) = default;
};
struct ChainIntegrityFailed {
    friend bool operator==(const ChainIntegrityFailed&, const ChainIntegrityFailed&) = default;
};
struct AuditChainFailed {
    friend bool operator==(const AuditChainFailed&, const AuditChainFailed&) = default;
};

class EngineError {
public:
    using Variant = std::variant<ManifestSignatureInvalid, ManifestNotPublished, PlanInvalid, PlanNotApproved,
                                 InvalidRunTransition, NoPendingStep, RollbackNotCompatible, RollbackNotApproved,
                                 ChainIntegrityFailed, AuditChainFailed>;

    template <class V>
        requires std::is_constructible_v<Variant, V>
    EngineError(V v) : variant_(std::move(v)) {}

    // A contract constructor's refusal is a rejected plan carrying its text.
    EngineError(const voreldeploy_contracts::error::ContractError& e) : variant_(PlanInvalid{e.message()}) {}

    const Variant& variant() const { return variant_; }
    template <class V>
    bool is() const {
        return std::holds_alternative<V>(variant_);
    }

    // The fixed display text.
    std::string message() const;

    friend bool operator==(const EngineError&, const EngineError&) = default;

private:
    Variant variant_;
};

std::ostream& operator<<(std::ostream& out, const EngineError& e);

}  // namespace voreldeploy_engine::error
