#include <gtest/gtest.h>

#include "voreldeploy_contracts/approval.hpp"

namespace voreldeploy_contracts::approval {
namespace {

using vorelcore_contracts::time::Timestamp;

Timestamp at(const char* text) { return *Timestamp::parse(text); }

TEST(Approval, UsableOnlyWhenApprovedAndNotPastExpiry) {
    const Timestamp expiry = at("2026-12-01T12:00:00Z");
    const Timestamp one_ns_later = at("2026-12-01T12:00:00.000000001Z");
    struct Case {
        ApprovalStatus status;
        std::optional<Timestamp> expires_at;
        Timestamp when;
        bool usable;
    };
    const Case cases[] = {
        {ApprovalStatus::Approved, std::nullopt, at("9999-12-31T23:59:59Z"), true},
        {ApprovalStatus::Approved, expiry, expiry, true},
        {ApprovalStatus::Approved, expiry, one_ns_later, false},
        {ApprovalStatus::Approved, expiry, at("2026-01-01T00:00:00Z"), true},
        {ApprovalStatus::Pending, std::nullopt, at("2026-01-01T00:00:00Z"), false},
        {ApprovalStatus::Pending, expiry, at("2026-01-01T00:00:00Z"), false},
        {ApprovalStatus::Rejected, std::nullopt, at("2026-01-01T00:00:00Z"), false},
    };
    for (const auto& c : cases) {
        ApprovalRecord record;
        record.status = c.status;
        record.expires_at = c.expires_at;
        EXPECT_EQ(record.is_usable_at(c.when), c.usable)
            << static_cast<int>(c.status) << " at " << c.when.to_string();
    }
}

TEST(Approval, OptionalMembersReadAbsentWhenMissingOrNull) {
    const char* text = R"({
  "id": "11111111-2222-4333-8444-555555555555",
  "workflow_ref": "CAB-7",
  "status": "approved",
  "requested_by": "{66666666-7777-4888-9999-aaaaaaaaaaaa}",
  "decided_by": null,
  "requested_at": "2026-12-01T10:00:00+02:00"
})";
    auto record = vorelcore_json::from_text<ApprovalRecord>(text);
    ASSERT_TRUE(record) << record.error();
    EXPECT_FALSE(record->decided_by);
    EXPECT_FALSE(record->expires_at);
    EXPECT_EQ(record->requested_at.to_string(), "2026-12-01T08:00:00Z");
    EXPECT_EQ(vorelcore_json::to_pretty(*record),
              "{\n"
              "  \"id\": \"11111111-2222-4333-8444-555555555555\",\n"
              "  \"workflow_ref\": \"CAB-7\",\n"
              "  \"status\": \"approved\",\n"
              "  \"requested_by\": \"66666666-7777-4888-9999-aaaaaaaaaaaa\",\n"
              "  \"requested_at\": \"2026-12-01T08:00:00Z\"\n"
              "}");
    auto bad = vorelcore_json::from_text<ApprovalRecord>(R"({"status": "maybe"})");
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "unknown variant `maybe`, expected one of `pending`, `approved`, `rejected` at line 1 column 18");
}

}  // namespace
}  // namespace voreldeploy_contracts::approval
