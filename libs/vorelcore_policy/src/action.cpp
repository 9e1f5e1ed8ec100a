#include "vorelcore_policy/action.hpp"

#include <cstdlib>
#include <utility>

#include "vorelcore_error/text.hpp"

namespace vorelcore_policy::action {

using vorelcore_contracts::ids::ProductId;
using vorelcore_contracts::ids::Slug;
using vorelcore_error::CoreError;

std::expected<PolicyActionId, CoreError> PolicyActionId::parse(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::unexpected(CoreError::validation("policy action id " + vorelcore_error::debug_quoted(text) +
                                                     " must be \"<product>:<action.path>\""));
    }
    auto product = ProductId::parse(text.substr(0, colon));
    if (!product) return std::unexpected(std::move(product.error()));

    std::vector<Slug> segments;
    std::string_view path = text.substr(colon + 1);
    while (true) {
        const std::size_t dot = path.find('.');
        auto segment = Slug::parse(path.substr(0, dot));
        if (!segment) return std::unexpected(std::move(segment.error()));
        segments.push_back(std::move(*segment));
        if (dot == std::string_view::npos) break;
        path.remove_prefix(dot + 1);
    }
    return from_parts(std::move(*product), std::move(segments));
}

std::expected<PolicyActionId, CoreError> PolicyActionId::try_from(std::string text) { return parse(text); }

std::expected<PolicyActionId, CoreError> PolicyActionId::from_parts(ProductId product, std::vector<Slug> segments) {
    if (auto valid = validate_segments(segments); !valid) return std::unexpected(std::move(valid.error()));
    return PolicyActionId(std::move(product), std::move(segments));
}

std::expected<void, CoreError> PolicyActionId::validate_segments(const std::vector<Slug>& segments) {
    if (segments.empty()) {
        return std::unexpected(CoreError::validation("policy action id must have at least one path segment"));
    }
    if (segments.size() > kMaxSegments) {
        return std::unexpected(CoreError::validation("policy action id must have at most " +
                                                     std::to_string(kMaxSegments) + " path segments, got " +
                                                     std::to_string(segments.size())));
    }
    return {};
}

namespace {

// Only for the fixed texts below, which are known to be valid.
PolicyActionId known(std::string_view text) {
    auto action = PolicyActionId::parse(text);
    if (!action) std::abort();
    return std::move(*action);
}

}  // namespace

PolicyActionId PolicyActionId::deployment_promote() { return known("voreldeploy:deployment.promote"); }
PolicyActionId PolicyActionId::rollback_promote() { return known("voreldeploy:rollback.promote"); }

std::string PolicyActionId::canonical() const {
    std::string out = product_.as_str();
    out.push_back(':');
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (i != 0) out.push_back('.');
        out += segments_[i].as_str();
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const PolicyActionId& action) { return out << action.canonical(); }

}  // namespace vorelcore_policy::action
