#include <gtest/gtest.h>

#include <string>

#include "vorelcore_json/parse.hpp"

namespace vorelcore_json {
namespace {

std::string error_of(std::string_view text) {
    auto v = parse(text);
    if (v) return "<parsed>";
    return located_message(text, v.error());
}

TEST(JsonParse, NumbersKeepIntegersExactAndEverythingElseIsFloat) {
    struct Case {
        const char* text;
        Value expected;
    };
    const Case cases[] = {
        {"0", Value(std::uint64_t{0})},
        {"-1", Value(std::int64_t{-1})},
        {"18446744073709551615", Value(std::uint64_t{18446744073709551615ULL})},
        {"-9223372036854775808", Value(std::int64_t{INT64_MIN})},
        // Outside both 64-bit ranges: floating point.
        {"18446744073709551616", Value(18446744073709551616.0)},
        {"-9223372036854775809", Value(-9223372036854775809.0)},
        // A fraction or an exponent makes a float even when the value is whole.
        {"1.0", Value(1.0)},
        {"1e2", Value(100.0)},
        {"2E-1", Value(0.2)},
    };
    for (const auto& c : cases) {
        auto v = parse(c.text);
        ASSERT_TRUE(v) << c.text;
        EXPECT_EQ(v->data().index(), c.expected.data().index()) << c.text;
        EXPECT_EQ(*v, c.expected) << c.text;
    }
}

TEST(JsonParse, RecordsWhereEveryValueAndKeyEnded) {
    const std::string text = "{\n  \"ab\": [1, \"x\"],\n  \"c\": null\n}";
    auto v = parse(text);
    ASSERT_TRUE(v);
    const Object& object = *v->as_object();
    ASSERT_EQ(object.size(), 2u);
    // Consumed counts: one past the closing quote of "ab", one past `]`.
    EXPECT_EQ(text.substr(0, object[0].key_end).back(), '"');
    EXPECT_EQ(object[0].key_end, text.find("\"ab\"") + 4);
    EXPECT_EQ(object[0].value.end(), text.find(']') + 1);
    const Array& array = *object[0].value.as_array();
    EXPECT_EQ(array[0].end(), text.find('1') + 1);
    EXPECT_EQ(array[1].end(), text.find("\"x\"") + 3);
    EXPECT_EQ(object[1].value.end(), text.find("null") + 4);
    EXPECT_EQ(v->end(), text.size());
    // Positions are reported as the line and column of the last byte consumed.
    const Position pos = position_at(text, object[1].value.end());
    EXPECT_EQ(pos.line, 3u);
    EXPECT_EQ(pos.column, 11u);
}

TEST(JsonParse, SyntaxErrorsSayWhatAndWhere) {
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"", "EOF while parsing a value at line 1 column 0"},
        {"   \n", "EOF while parsing a value at line 2 column 0"},
        {"5 6", "trailing characters at line 1 column 3"},
        {"{}\n}", "trailing characters at line 2 column 1"},
        {std::string("{}\0x", 4), "trailing characters at line 1 column 3"},
        {"[1,]", "expected value at line 1 column 4"},
        {"[1", "EOF while parsing a list at line 1 column 2"},
        {"{\"a\": 1", "EOF while parsing an object at line 1 column 7"},
        {"\"abc", "EOF while parsing a string at line 1 column 4"},
        {"{\"a\" 1}", "expected `:` at line 1 column 6"},
        {"{1: 2}", "key must be a string at line 1 column 2"},
        {"[1 2]", "expected `,` or `]` at line 1 column 4"},
        {"nul", "EOF while parsing a value at line 1 column 3"},
        {"nul ", "expected value at line 1 column 4"},
        {"\"a\\qb\"", "invalid escape at line 1 column 3"},
        {"1e999", "number out of range at line 1 column 1"},
        {"\"\\udc00\"", "invalid unicode code point at line 1 column 8"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.text), c.message) << c.text;
}

TEST(JsonParse, NestingIsBoundedWithoutRecursion) {
    const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(parse(nested(kMaxDepth)));
    EXPECT_EQ(error_of(nested(kMaxDepth + 1)), "recursion limit exceeded at line 1 column 129");
    // Far deeper than any stack would take, and unterminated: still one clean error.
    EXPECT_EQ(error_of(std::string(100000, '[')), "recursion limit exceeded at line 1 column 129");
    EXPECT_EQ(error_of(std::string(100000, '{')), "key must be a string at line 1 column 2");
}

TEST(JsonParse, EscapesDecodeToUtf8) {
    auto v = parse(R"(["\u00e9\ud83d\ude00\n\/", "\u0000"])");
    ASSERT_TRUE(v);
    const Array& a = *v->as_array();
    EXPECT_EQ(*a[0].as_string(), "\xC3\xA9\xF0\x9F\x98\x80\n/");
    EXPECT_EQ(*a[1].as_string(), std::string(1, '\0'));
}

TEST(JsonParse, ObjectsKeepOrderAndRepeatedKeys) {
    auto v = parse(R"({"b": 1, "a": 2, "b": 3})");
    ASSERT_TRUE(v);
    const Object& o = *v->as_object();
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[0].key, "b");
    EXPECT_EQ(o[1].key, "a");
    EXPECT_EQ(o[2].key, "b");
}

}  // namespace
}  // namespace vorelcore_json
