#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/action.hpp"

namespace vorelcore_policy::action {
namespace {

using vorelcore_contracts::ids::Slug;
using vorelcore_error::CoreError;

const std::string kChars = "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens";
const std::string kEmpty = "invalid Slug identifier: must not be empty";

std::vector<std::string> segment_texts(const PolicyActionId& action) {
    std::vector<std::string> out;
    for (const Slug& segment : action.segments()) out.push_back(segment.as_str());
    return out;
}

std::vector<Slug> slugs(std::size_t count) {
    std::vector<Slug> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(*Slug::parse("s" + std::to_string(i)));
    return out;
}

TEST(PolicyActionIdParse, ValidTextsSplitIntoProductAndSegmentsAndWriteBackIdentically) {
    struct Case {
        std::string text;
        std::string product;
        std::vector<std::string> segments;
    };
    const Case cases[] = {
        {"voreldeploy:deployment.promote", "voreldeploy", {"deployment", "promote"}},
        {"voreldeploy:rollback.promote", "voreldeploy", {"rollback", "promote"}},
        {"p:a", "p", {"a"}},
        {"x-1:a-b.c2", "x-1", {"a-b", "c2"}},
        {"p:a.b.c.d.e.f", "p", {"a", "b", "c", "d", "e", "f"}},
        {"p:" + std::string(64, 'a'), "p", {std::string(64, 'a')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = PolicyActionId::parse(c.text);
        ASSERT_TRUE(parsed) << parsed.error();
        EXPECT_EQ(parsed->product().as_str(), c.product);
        EXPECT_EQ(segment_texts(*parsed), c.segments);
        EXPECT_EQ(parsed->canonical(), c.text);
        EXPECT_EQ(parsed->to_string(), c.text);
        auto owned = PolicyActionId::try_from(c.text);
        ASSERT_TRUE(owned);
        EXPECT_EQ(*owned, *parsed);
    }
}

TEST(PolicyActionIdParse, FaultsGiveTheFirstErrorWithItsExactText) {
    struct Case {
        std::string text;
        CoreError::Kind kind;
        std::string message;
    };
    const std::string form = " must be \"<product>:<action.path>\"";
    const Case cases[] = {
        {"voreldeploy", CoreError::Kind::Validation,
         "validation failed: policy action id \"voreldeploy\"" + form},
        {"", CoreError::Kind::Validation, "validation failed: policy action id \"\"" + form},
        {"say \"hi\"\n", CoreError::Kind::Validation, "validation failed: policy action id \"say \\\"hi\\\"\\n\"" + form},
        {"voreldeploy.deployment.promote", CoreError::Kind::Validation,
         "validation failed: policy action id \"voreldeploy.deployment.promote\"" + form},
        {"voreldeploy:", CoreError::Kind::InvalidIdentifier, kEmpty},
        {":deployment.promote", CoreError::Kind::InvalidIdentifier, kEmpty},
        {"voreldeploy:deployment..promote", CoreError::Kind::InvalidIdentifier, kEmpty},
        {"voreldeploy:deployment.", CoreError::Kind::InvalidIdentifier, kEmpty},
        {"voreldeploy:.promote", CoreError::Kind::InvalidIdentifier, kEmpty},
        {"voreldeploy:a.b.c.d.e.f.g", CoreError::Kind::Validation,
         "validation failed: policy action id must have at most 6 path segments, got 7"},
        {"voreldeploy:Deployment.promote", CoreError::Kind::InvalidIdentifier, kChars},
        {"voreldeploy:deployment.Promote", CoreError::Kind::InvalidIdentifier, kChars},
        {"VorelDeploy:deployment.promote", CoreError::Kind::InvalidIdentifier, kChars},
        {"voreldeploy:deployment:promote", CoreError::Kind::InvalidIdentifier, kChars},
        {"voreldeploy: deployment", CoreError::Kind::InvalidIdentifier, kChars},
        {"voreldeploy:-deployment", CoreError::Kind::InvalidIdentifier,
         "invalid Slug identifier: must not start or end with a hyphen"},
        {"voreldeploy:a--b", CoreError::Kind::InvalidIdentifier,
         "invalid Slug identifier: must not contain consecutive hyphens"},
        {"voreldeploy:" + std::string(65, 'a'), CoreError::Kind::InvalidIdentifier,
         "invalid Slug identifier: must be at most 64 bytes, got 65"},
        // The product is checked before the path, and path pieces in order.
        {"Bad:x..y", CoreError::Kind::InvalidIdentifier, kChars},
        {"p:A..b", CoreError::Kind::InvalidIdentifier, kChars},
        {"p:a..B", CoreError::Kind::InvalidIdentifier, kEmpty},
        // Every piece is checked before the count.
        {"p:a.b.c.d.e.f.G", CoreError::Kind::InvalidIdentifier, kChars},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = PolicyActionId::parse(c.text);
        ASSERT_FALSE(parsed) << parsed->canonical();
        EXPECT_EQ(parsed.error().kind(), c.kind);
        EXPECT_EQ(parsed.error().message(), c.message);
        auto owned = PolicyActionId::try_from(c.text);
        ASSERT_FALSE(owned);
        EXPECT_EQ(owned.error(), parsed.error());
    }
}

TEST(PolicyActionIdParts, SegmentCountIsBoundedOnBothSides) {
    struct Case {
        std::size_t count;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {0, "validation failed: policy action id must have at least one path segment"},
        {1, ""},
        {6, ""},
        {7, "validation failed: policy action id must have at most 6 path segments, got 7"},
        {12, "validation failed: policy action id must have at most 6 path segments, got 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        auto valid = PolicyActionId::validate_segments(slugs(c.count));
        auto built = PolicyActionId::from_parts(testing::product("voreldeploy"), slugs(c.count));
        if (c.message.empty()) {
            EXPECT_TRUE(valid);
            ASSERT_TRUE(built);
            EXPECT_EQ(built->segments().size(), c.count);
            EXPECT_EQ(PolicyActionId::parse(built->canonical()), built);
        } else {
            ASSERT_FALSE(valid);
            EXPECT_EQ(valid.error().message(), c.message);
            ASSERT_FALSE(built);
            EXPECT_EQ(built.error().message(), c.message);
        }
    }
}

TEST(PolicyActionIdParts, TheSystemsOwnActions) {
    EXPECT_EQ(PolicyActionId::deployment_promote().canonical(), "voreldeploy:deployment.promote");
    EXPECT_EQ(PolicyActionId::rollback_promote().canonical(), "voreldeploy:rollback.promote");
    EXPECT_NE(PolicyActionId::deployment_promote(), PolicyActionId::rollback_promote());
}

TEST(PolicyActionIdJson, ReadsAndWritesAsItsCanonicalText) {
    auto value = vorelcore_json::to_value(testing::action_id("voreldeploy:deployment.promote"));
    EXPECT_EQ(vorelcore_json::write_pretty(value), "\"voreldeploy:deployment.promote\"");

    auto read = vorelcore_json::from_text<PolicyActionId>("\"voreldeploy:rollback.promote\"");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, PolicyActionId::rollback_promote());

    struct Case {
        const char* text;
        std::string message;
    };
    const Case cases[] = {
        {"\"voreldeploy\"",
         "validation failed: policy action id \"voreldeploy\" must be \"<product>:<action.path>\" at line 1 column 13"},
        {"\"voreldeploy:Deploy\"", kChars + " at line 1 column 20"},
        {"5", "invalid type: integer `5`, expected a string at line 1 column 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto bad = vorelcore_json::from_text<PolicyActionId>(c.text);
        ASSERT_FALSE(bad);
        EXPECT_EQ(bad.error(), c.message);
    }
}

}  // namespace
}  // namespace vorelcore_policy::action
