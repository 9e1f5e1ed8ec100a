#include <gtest/gtest.h>

#include "vorelcore_json/parse.hpp"
#include "vorelcore_json/write.hpp"

namespace vorelcore_json {
namespace {

TEST(JsonWrite, PrettyLayout) {
    Object inner;
    push_member(inner, "list", Value(Array{Value(std::uint64_t{1}), Value(std::int64_t{-2}), Value(Array{})}));
    push_member(inner, "empty", Value(Object{}));
    Object root;
    push_member(root, "name", Value("x"));
    push_member(root, "inner", Value(std::move(inner)));
    push_member(root, "flag", Value(true));
    push_member(root, "none", Value(Null{}));
    const std::string expected =
        "{\n"
        "  \"name\": \"x\",\n"
        "  \"inner\": {\n"
        "    \"list\": [\n"
        "      1,\n"
        "      -2,\n"
        "      []\n"
        "    ],\n"
        "    \"empty\": {}\n"
        "  },\n"
        "  \"flag\": true,\n"
        "  \"none\": null\n"
        "}";
    EXPECT_EQ(write_pretty(Value(std::move(root))), expected);
    EXPECT_EQ(write_pretty(Value(Object{})), "{}");
    EXPECT_EQ(write_pretty(Value(Array{})), "[]");
}

TEST(JsonWrite, StringEscapes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {std::string("\x01\x1f", 2), "\"\\u0001\\u001f\""},
        {std::string(1, '\0'), "\"\\u0000\""},
        {"a/b \xC3\xA9 \x7F", "\"a/b \xC3\xA9 \x7F\""},
    };
    for (const auto& c : cases) EXPECT_EQ(write_pretty(Value(c.in)), c.out) << c.in;
}

TEST(JsonWrite, FloatsStayFloatsWhenReadBack) {
    for (double d : {1.0, 0.5, -2.25, 1e300, 1.5e-7, 123456789.0}) {
        const std::string text = write_pretty(Value(d));
        auto back = parse(text);
        ASSERT_TRUE(back) << text;
        EXPECT_EQ(*back, Value(d)) << text;
        EXPECT_TRUE(std::holds_alternative<double>(back->data())) << text;
    }
    EXPECT_EQ(format_double(1.0), "1.0");
    EXPECT_EQ(format_double(1e300), "1e300");
}

TEST(JsonWrite, ParseOfWrittenTextIsTheSameValue) {
    const std::string text = R"({"a":[1,-1,2.5,"s\u0001",{"k":null,"t":false}],"b":{}})";
    auto v = parse(text);
    ASSERT_TRUE(v);
    auto again = parse(write_pretty(*v));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *v);
}

}  // namespace
}  // namespace vorelcore_json
