#include "vorelcore_contracts/ids.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <vector>

namespace {

using namespace vorelcore_contracts::ids;
using vorelcore_error::CoreError;

constexpr std::string_view kCanonical = "67e55044-10b1-426f-9247-bb680e5fe0c8";

TEST(Uuid, EveryAcceptedFormReadsToTheSameValueAndIsWrittenLowerCaseHyphenated) {
    const std::array<std::uint8_t, 16> expected_bytes = {0x67, 0xe5, 0x50, 0x44, 0x10, 0xb1, 0x42, 0x6f,
                                                         0x92, 0x47, 0xbb, 0x68, 0x0e, 0x5f, 0xe0, 0xc8};
    const std::string_view forms[] = {
        "67e55044-10b1-426f-9247-bb680e5fe0c8",
        "67E55044-10B1-426F-9247-BB680E5FE0C8",
        "67e55044-10B1-426f-9247-Bb680E5fe0c8",
        "67e5504410b1426f9247bb680e5fe0c8",
        "67E5504410B1426F9247BB680E5FE0C8",
        "{67e55044-10b1-426f-9247-bb680e5fe0c8}",
        "{67E55044-10B1-426F-9247-BB680E5FE0C8}",
        "urn:uuid:67e55044-10b1-426f-9247-bb680e5fe0c8",
        "urn:uuid:67E55044-10B1-426F-9247-BB680E5FE0C8",
    };
    for (const auto form : forms) {
        SCOPED_TRACE(form);
        const auto uuid = Uuid::parse(form);
        ASSERT_TRUE(uuid.has_value()) << uuid.error();
        EXPECT_EQ(uuid->bytes(), expected_bytes);
        EXPECT_EQ(uuid->to_string(), kCanonical);
    }
}

TEST(Uuid, RefusesMalformedTextWithAOneLineDescription) {
    struct Case {
        std::string text;
        std::string reason;
    };
    const Case cases[] = {
        {"", "invalid length: expected 32, 36, 38 or 45 characters, found 0"},
        {"abc", "invalid length: expected 32, 36, 38 or 45 characters, found 3"},
        {"67e55044-10b1-426f-9247-bb680e5fe0c", "invalid length: expected 32, 36, 38 or 45 characters, found 35"},
        {"67e55044-10b1-426f-9247-bb680e5fe0c8 ",
         "invalid length: expected 32, 36, 38 or 45 characters, found 37"},
        {"0g000000000000000000000000000000", "invalid character: expected [0-9a-fA-F], found `g` at 1"},
        // Hyphens must sit exactly at 8, 13, 18 and 23.
        {"67e550441-0b1-426f-9247-bb680e5fe0c8", "invalid character: expected `-`, found `1` at 8"},
        {"67e5504-410b1-426f-9247-bb680e5fe0c8", "invalid character: expected [0-9a-fA-F], found `-` at 7"},
        {"67e55044-10b1-426f-9247_bb680e5fe0c8", "invalid character: expected `-`, found `_` at 23"},
        // The wrappers are only taken off when the length is exactly theirs.
        {"(67e55044-10b1-426f-9247-bb680e5fe0c8)", "invalid character: expected `{`, found `(` at 0"},
        {"{67e55044-10b1-426f-9247-bb680e5fe0c8]", "invalid character: expected `}`, found `]` at 37"},
        {"{67e5504410b1426f9247bb680e5fe0c8}", "invalid length: expected 32, 36, 38 or 45 characters, found 34"},
        {"urn:uuid:67e5504410b1426f9247bb680e5fe0c8",
         "invalid length: expected 32, 36, 38 or 45 characters, found 41"},
        {"urn:uid::67e55044-10b1-426f-9247-bb680e5fe0c8",
         "invalid character: expected `urn:uuid:` prefix, found `i` at 5"},
        {"URN:UUID:67e55044-10b1-426f-9247-bb680e5fe0c8",
         "invalid character: expected `urn:uuid:` prefix, found `U` at 0"},
        // Positions and lengths count characters, and what is shown stays
        // valid UTF-8 on one line.
        {"67e5504410b1426f9247bb680e5fe0c\xc3\xa9", "invalid character: expected [0-9a-fA-F], found `\xc3\xa9` at 31"},
        {"67e5504410b1426f9247bb680e5fe0c\xff", "invalid character: expected [0-9a-fA-F], found `\\xff` at 31"},
        {"67e5504410b1426f9247bb680e5fe0c\n", "invalid character: expected [0-9a-fA-F], found `\\n` at 31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto uuid = Uuid::parse(c.text);
        ASSERT_FALSE(uuid.has_value()) << uuid->to_string();
        EXPECT_EQ(uuid.error(), c.reason);
    }
}

TEST(Uuid, NilIsAllZero) {
    EXPECT_EQ(Uuid().to_string(), "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(TenantId().to_string(), "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(Uuid::parse("00000000000000000000000000000000").value(), Uuid());
}

TEST(Uuid, OrderIsTheOrderOfThe128BitValue) {
    // Fixed-width lower-case hex sorts like the number it spells.
    std::vector<std::string> texts = {
        "ffffffff-ffff-ffff-ffff-ffffffffffff", "00000000-0000-0000-0000-000000000001",
        "10000000-0000-0000-0000-000000000000", "0fffffff-ffff-ffff-ffff-ffffffffffff",
        "00000000-0000-0000-0000-000000000000", "00000000-0000-0001-0000-000000000000",
        "00000000-0000-0000-0000-000000000100",
    };
    std::vector<Uuid> uuids;
    for (const auto& text : texts) uuids.push_back(Uuid::parse(text).value());
    std::sort(texts.begin(), texts.end());
    std::sort(uuids.begin(), uuids.end());
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(uuids[i].to_string(), texts[i]);
}

TEST(Uuid, RandomIsVersion4WithTheRfc4122VariantAndUnique) {
    std::set<Uuid> seen;
    for (int i = 0; i < 500; ++i) {
        const Uuid uuid = Uuid::random_v4();
        EXPECT_EQ(uuid.bytes()[6] >> 4, 4) << uuid;
        EXPECT_EQ(uuid.bytes()[8] >> 6, 0b10) << uuid;
        const std::string text = uuid.to_string();
        EXPECT_EQ(text[14], '4');
        EXPECT_NE(std::string_view("89ab").find(text[19]), std::string_view::npos) << text;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 500u);
}

TEST(UuidIdentifier, GeneratedIdentifierSurvivesWriteAndRead) {
    for (int i = 0; i < 20; ++i) {
        const auto id = DecisionId::generate();
        EXPECT_NE(id, DecisionId());
        const auto back = DecisionId::parse(id.to_string());
        ASSERT_TRUE(back.has_value()) << back.error();
        EXPECT_EQ(*back, id);
    }
}

TEST(UuidIdentifier, ParseFailureNamesTheIdentifierKind) {
    const auto identity = IdentityId::parse("not-a-uuid");
    ASSERT_FALSE(identity.has_value());
    EXPECT_EQ(identity.error().kind(), CoreError::Kind::InvalidIdentifier);
    EXPECT_EQ(identity.error().message(),
              "invalid IdentityId identifier: invalid length: expected 32, 36, 38 or 45 characters, found 10");

    const auto pseudonym = Pseudonym::parse("{67e55044-10b1-426f-9247-bb680e5fe0c8");
    ASSERT_FALSE(pseudonym.has_value());
    EXPECT_EQ(pseudonym.error().message(),
              "invalid Pseudonym identifier: invalid length: expected 32, 36, 38 or 45 characters, found 37");
}

TEST(UuidIdentifier, KindsAreDistinctTypesNamedAfterThemselves) {
    static_assert(!std::is_convertible_v<TenantId, WorkspaceId>);
    static_assert(!std::is_constructible_v<TenantId, WorkspaceId>);
    static_assert(!std::is_convertible_v<Uuid, TenantId>);  // wrapping a UUID is explicit
    EXPECT_EQ(TenantId::kind, "TenantId");
    EXPECT_EQ(AuditEventId::kind, "AuditEventId");
    EXPECT_EQ(Pseudonym::kind, "Pseudonym");
}

TEST(UuidIdentifier, EqualValuesHashAndCompareEqual) {
    const auto a = KeyId::parse(kCanonical).value();
    const auto c = KeyId::parse("{67E55044-10B1-426F-9247-BB680E5FE0C8}").value();
    const std::unordered_set<KeyId> set = {a, c, KeyId::generate()};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.contains(KeyId(Uuid::parse(kCanonical).value())));
}

TEST(Slug, AcceptsValidSlugsUnchanged) {
    const std::string valid[] = {"a", "7", std::string(64, 'z'), "voreldeploy", "eu-west-1", "a-b-c-0-9"};
    for (const auto& text : valid) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(Slug::validate(text).has_value());
        const auto slug = Slug::try_from(text);
        ASSERT_TRUE(slug.has_value()) << slug.error();
        EXPECT_EQ(slug->as_str(), text);
        EXPECT_EQ(slug->to_string(), text);
    }
}

TEST(Slug, FirstBrokenRuleGivesTheReason) {
    constexpr std::string_view kCharacters = "may contain only lowercase ASCII letters, digits and hyphens";
    constexpr std::string_view kHyphenEnds = "must not start or end with a hyphen";
    constexpr std::string_view kDoubleHyphen = "must not contain consecutive hyphens";
    struct Case {
        std::string text;
        std::string_view reason;
    };
    const Case cases[] = {
        {"", "must not be empty"},
        {std::string(65, 'a'), "must be at most 64 bytes, got 65"},
        // Length is judged before characters, and counts bytes.
        {std::string(65, '_'), "must be at most 64 bytes, got 65"},
        {"-" + std::string(99, 'A'), "must be at most 64 bytes, got 100"},
        {[] { std::string s; for (int i = 0; i < 33; ++i) s += "\xc3\xa9"; return s; }(),
         "must be at most 64 bytes, got 66"},
        {[] { std::string s; for (int i = 0; i < 32; ++i) s += "\xc3\xa9"; return s; }(), kCharacters},
        {"Voreldeploy", kCharacters},
        {"a_b", kCharacters},
        {"caf\xc3\xa9", kCharacters},
        {"a b", kCharacters},
        {"a.b", kCharacters},
        // Characters are judged before hyphen placement.
        {"-A", kCharacters},
        {"a--B", kCharacters},
        {"-", kHyphenEnds},
        {"-a", kHyphenEnds},
        {"a-", kHyphenEnds},
        {"-a--b", kHyphenEnds},
        {"a--b", kDoubleHyphen},
        {"a---b", kDoubleHyphen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto validated = Slug::validate(c.text);
        ASSERT_FALSE(validated.has_value());
        EXPECT_EQ(validated.error(), CoreError::invalid_identifier("Slug", std::string(c.reason)));
        const auto slug = Slug::try_from(c.text);
        ASSERT_FALSE(slug.has_value());
        EXPECT_EQ(slug.error(), validated.error());
    }
    EXPECT_EQ(Slug::validate("").error().message(), "invalid Slug identifier: must not be empty");
}

TEST(SlugIdentifier, WrapsTheSlugAndPassesSlugErrorsThrough) {
    const auto product = ProductId::parse(kProductSlug);
    ASSERT_TRUE(product.has_value());
    EXPECT_EQ(product->to_string(), "voreldeploy");
    EXPECT_EQ(*product, ProductId(Slug::parse("voreldeploy").value()));
    EXPECT_NE(*product, ProductId(Slug::parse("vorelpolicy").value()));

    const auto region = RegionId::parse("EU-West");
    ASSERT_FALSE(region.has_value());
    EXPECT_EQ(region.error().message(),
              "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens");
    static_assert(!std::is_convertible_v<ServiceId, RegionId>);

    std::unordered_set<ServiceId> services = {ServiceId::parse("api").value(), ServiceId::parse("api").value()};
    EXPECT_EQ(services.size(), 1u);
}

}  // namespace
