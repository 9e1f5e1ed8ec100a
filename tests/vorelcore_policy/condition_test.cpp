#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/eval.hpp"

namespace vorelcore_policy::eval {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(CanonicalInteger, OnlyTheExactDecimalRenderingOfAnI64Qualifies) {
    struct Case {
        std::string text;
        std::optional<std::int64_t> value;  // empty: not canonical
    };
    const Case cases[] = {
        {"0", 0},
        {"7", 7},
        {"-3", -3},
        {"10", 10},
        {"9223372036854775807", kMax},
        {"-9223372036854775808", kMin},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"+7", std::nullopt},
        {"07", std::nullopt},
        {"00", std::nullopt},
        {"-07", std::nullopt},
        {"-0", std::nullopt},
        {"7.0", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {" 7", std::nullopt},
        {"7 ", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"--1", std::nullopt},
        {"\xd9\xa3", std::nullopt},  // ARABIC-INDIC DIGIT THREE
        {std::string("1\0", 2), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::int64_t value = 12345;
        EXPECT_EQ(is_canonical_integer(c.text, &value), c.value.has_value());
        EXPECT_EQ(value, c.value.value_or(12345));  // untouched when refused
        EXPECT_EQ(is_canonical_integer(c.text), c.value.has_value());
    }
}

TEST(ConditionMatches, EveryOperatorAgainstPresentAndMissingValues) {
    struct Case {
        const char* name;
        PolicyCondition condition;
        std::optional<std::string> value;  // empty: the key is missing
        bool matches;
    };
    const Case cases[] = {
        {"equals same", Equals{"eu-west"}, "eu-west", true},
        {"equals case differs", Equals{"eu-west"}, "EU-west", false},
        {"equals trailing space", Equals{"eu-west"}, "eu-west ", false},
        {"equals empty", Equals{""}, "", true},
        {"equals missing", Equals{""}, std::nullopt, false},
        {"not_equals differs", NotEquals{"prod"}, "staging", true},
        {"not_equals same", NotEquals{"prod"}, "prod", false},
        {"not_equals missing", NotEquals{"prod"}, std::nullopt, false},
        {"one_of member", OneOf{{"a", "b"}}, "b", true},
        {"one_of other", OneOf{{"a", "b"}}, "c", false},
        {"one_of missing", OneOf{{"a", "b"}}, std::nullopt, false},
        {"one_of empty text member", OneOf{{""}}, "", true},
        {"at_least equal", AtLeast{5}, "5", true},
        {"at_least above", AtLeast{5}, "6", true},
        {"at_least below", AtLeast{5}, "4", false},
        {"at_least leading zero", AtLeast{5}, "05", false},
        {"at_least plus", AtLeast{5}, "+5", false},
        {"at_least fraction", AtLeast{5}, "5.0", false},
        {"at_least space", AtLeast{5}, " 5", false},
        {"at_least empty", AtLeast{-1}, "", false},
        {"at_least minus zero", AtLeast{-1}, "-0", false},
        {"at_least missing", AtLeast{kMin}, std::nullopt, false},
        {"at_least i64 min", AtLeast{kMin}, "-9223372036854775808", true},
        {"at_least overflowing text", AtLeast{kMin}, "9223372036854775808", false},
        {"at_most equal", AtMost{0}, "0", true},
        {"at_most above", AtMost{0}, "1", false},
        {"at_most negative", AtMost{0}, "-3", true},
        {"at_most minus zero", AtMost{0}, "-0", false},
        {"at_most i64 max", AtMost{kMax}, "9223372036854775807", true},
        {"at_most underflowing text", AtMost{kMax}, "-9223372036854775809", false},
        {"at_most missing", AtMost{kMax}, std::nullopt, false},
        {"in_range low bound", InRange{1, 3}, "1", true},
        {"in_range high bound", InRange{1, 3}, "3", true},
        {"in_range below", InRange{1, 3}, "0", false},
        {"in_range above", InRange{1, 3}, "4", false},
        {"in_range single point", InRange{2, 2}, "2", true},
        {"in_range leading zero", InRange{1, 3}, "02", false},
        {"in_range whole i64", InRange{kMin, kMax}, "9223372036854775807", true},
        {"in_range whole i64 not a number", InRange{kMin, kMax}, "x", false},
        {"in_range missing", InRange{kMin, kMax}, std::nullopt, false},
        {"present text", Present{}, "x", true},
        {"present empty text", Present{}, "", true},
        {"present missing", Present{}, std::nullopt, false},
        {"absent missing", Absent{}, std::nullopt, true},
        {"absent empty text", Absent{}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(condition_matches(c.condition, c.value ? &*c.value : nullptr), c.matches);
    }
}

TEST(ConditionJson, EachOperatorIsAnObjectTaggedByOp) {
    struct Case {
        PolicyCondition condition;
        const char* text;
    };
    const Case cases[] = {
        {Equals{"eu"}, R"({
  "op": "equals",
  "value": "eu"
})"},
        {NotEquals{"prod"}, R"({
  "op": "not_equals",
  "value": "prod"
})"},
        {OneOf{{"b", "a"}}, R"({
  "op": "one_of",
  "values": [
    "b",
    "a"
  ]
})"},
        {AtLeast{-5}, R"({
  "op": "at_least",
  "min": -5
})"},
        {AtMost{kMax}, R"({
  "op": "at_most",
  "max": 9223372036854775807
})"},
        {InRange{kMin, 3}, R"({
  "op": "in_range",
  "min": -9223372036854775808,
  "max": 3
})"},
        {Present{}, R"({
  "op": "present"
})"},
        {Absent{}, R"({
  "op": "absent"
})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(vorelcore_json::to_pretty(c.condition), c.text);
        auto read = vorelcore_json::from_text<PolicyCondition>(c.text);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, c.condition);
    }
}

TEST(ConditionJson, MalformedConditionsAreRefusedAtTheirClosingBrace) {
    struct Case {
        const char* text;
        std::string message;
    };
    const Case cases[] = {
        {R"({"op": "greater_than", "min": 1})",
         "unknown variant `greater_than`, expected one of `equals`, `not_equals`, `one_of`, `at_least`, `at_most`, "
         "`in_range`, `present`, `absent` at line 1 column 32"},
        {R"({"value": "x"})", "missing field `op` at line 1 column 14"},
        {R"({"op": "in_range", "min": 1})", "missing field `max` at line 1 column 28"},
        {R"({"op": "at_least", "min": "5"})", "invalid type: string \"5\", expected i64 at line 1 column 30"},
        {R"({"op": "at_least", "min": 5.0})", "invalid type: floating point `5.0`, expected i64 at line 1 column 30"},
        {R"({"op": "at_most", "max": 9223372036854775808})",
         "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 45"},
        {R"({"op": "one_of", "values": "a"})",
         "invalid type: string \"a\", expected a sequence at line 1 column 31"},
        {R"("present")",
         "invalid type: string \"present\", expected internally tagged enum PolicyCondition at line 1 column 9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto read = vorelcore_json::from_text<PolicyCondition>(c.text);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error(), c.message);
    }
}

TEST(ConditionJson, UnknownMembersAreIgnored) {
    auto read = vorelcore_json::from_text<PolicyCondition>(R"({"op": "present", "value": "ignored", "x": [1]})");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, PolicyCondition(Present{}));
}

}  // namespace
}  // namespace vorelcore_policy::eval
