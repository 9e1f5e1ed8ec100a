#include "voreldeploy_engine/error.hpp"

#include "vorelcore_json/enum_table.hpp"

namespace voreldeploy_engine::error {

using vorelcore_json::display_name;

std::string EngineError::message() const {
    struct Render {
        std::string operator()(const ManifestSignatureInvalid&) const {
            return "release manifest signature verification failed";
        }
        std::string operator()(const ManifestNotPublished& e) const {
            return "release manifest is not published: " + std::string(display_name(e.status));
        }
        std::string operator()(const PlanInvalid& e) const { return "deployment plan rejected: " + e.reason; }
        std::string operator()(const PlanNotApproved& e) const {
            return "deployment plan is not approved (status: " + std::string(display_name(e.status)) + ")";
        }
        std::string operator()(const InvalidRunTransition& e) const {
            return "invalid run transition from " + std::string(display_name(e.from)) + " to " +
                   std::string(display_name(e.to));
        }
        std::string operator()(const NoPendingStep& e) const {
            return "run has no pending step at index " + std::to_string(e.index);
        }
        std::string operator()(const RollbackNotCompatible&) const {
            return "rollback target manifest is not declared compatible with the current release";
        }
        std::string operator()(const RollbackNotApproved& e) const {
            return "rollback plan is not approved (status: " + std::string(display_name(e.status)) + ")";
        }
        std::string operator()(const ChainIntegrityFailed&) const { return "transition chain integrity check failed"; }
        std::string operator()(const AuditChainFailed&) const {
            return "could not build or extend the run's audit chain";
        }
    };
    return std::visit(Render{}, variant_);
}

std::ostream& operator<<(std::ostream& out, const EngineError& e) { return out << e.message(); }

}  // namespace voreldeploy_engine::error
