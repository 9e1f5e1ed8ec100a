#include "voreldeploy_adapters/adapter.hpp"

#include "vorelcore_json/enum_table.hpp"

namespace voreldeploy_adapters {

std::string AdapterError::message() const {
    struct Render {
        std::string operator()(const WrongTargetType& e) const {
            return "target type " + std::string(vorelcore_json::display_name(e.found)) +
                   " is not handled by this adapter";
        }
        std::string operator()(const UnsupportedStep& e) const {
            return "step " + e.label + " is not supported by this adapter";
        }
        std::string operator()(const MissingArtifactMetadata&) const {
            return "no release artifact metadata was supplied for this step";
        }
        std::string operator()(const ArtifactMismatch&) const {
            return "the supplied artifact metadata does not match the step's artifact id";
        }
        std::string operator()(const MissingPayload&) const { return "no artifact payload was supplied for this step"; }
        std::string operator()(const NothingToRollBack&) const {
            return "no previously applied release is recorded for this target \u2014 nothing to roll back to";
        }
        std::string operator()(const RollbackTargetMissing&) const {
            return "the release being rolled back to is no longer present on disk";
        }
        std::string operator()(const RollbackTargetCorrupted&) const {
            return "the release being rolled back to failed digest verification \u2014 refusing to activate it";
        }
        std::string operator()(const CorruptState& e) const {
            return "on-disk adapter state is unreadable or corrupt: " + e.what;
        }
        std::string operator()(const Io& e) const { return "filesystem operation failed: " + e.what; }
    };
    return std::visit(Render{}, variant_);
}

std::ostream& operator<<(std::ostream& out, const AdapterError& e) { return out << e.message(); }

}  // namespace voreldeploy_adapters
