#pragma once
// The name of a governed action: a product and a dotted path of 1 to 6
// slugs, written "product:seg.seg" (its text form, display and JSON form).
#include <compare>
#include <cstddef>
#include <expected>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_error/error.hpp"

namespace vorelcore_policy::action {

inline constexpr std::size_t kMaxSegments = 6;

class PolicyActionId {
public:
    // Empty; only a placeholder before a document is read.
    PolicyActionId() = default;

    // Reads "product:seg.seg": the text before the first ':' must be a
    // slug, the text after it is split at every '.' into slugs, and the
    // segment count must be within bounds. The first fault is the error.
    static std::expected<PolicyActionId, vorelcore_error::CoreError> parse(std::string_view text);
    static std::expected<PolicyActionId, vorelcore_error::CoreError> try_from(std::string text);
    static std::expected<PolicyActionId, vorelcore_error::CoreError> from_parts(
        vorelcore_contracts::ids::ProductId product, std::vector<vorelcore_contracts::ids::Slug> segments);

    // At least one and at most kMaxSegments segments.
    static std::expected<void, vorelcore_error::CoreError> validate_segments(
        const std::vector<vorelcore_contracts::ids::Slug>& segments);

    // The two actions this product governs: voreldeploy:deployment.promote
    // and voreldeploy:rollback.promote.
    static PolicyActionId deployment_promote();
    static PolicyActionId rollback_promote();

    const vorelcore_contracts::ids::ProductId& product() const { return product_; }
    const std::vector<vorelcore_contracts::ids::Slug>& segments() const { return segments_; }

    // The product, ':', and the segments joined with '.'.
    std::string canonical() const;
    std::string to_string() const { return canonical(); }

    friend auto operator<=>(const PolicyActionId&, const PolicyActionId&) = default;

private:
    PolicyActionId(vorelcore_contracts::ids::ProductId product, std::vector<vorelcore_contracts::ids::Slug> segments)
        : product_(std::move(product)), segments_(std::move(segments)) {}

    vorelcore_contracts::ids::ProductId product_;
    std::vector<vorelcore_contracts::ids::Slug> segments_;
};

std::ostream& operator<<(std::ostream& out, const PolicyActionId& action);

}  // namespace vorelcore_policy::action
