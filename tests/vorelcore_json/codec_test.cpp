#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vorelcore_json/codec.hpp"

namespace test_types {

enum class Colour { Red, Green, Blue };
enum class Pair { Yes, No };
enum class Single { Only };

struct Inner {
    std::uint16_t small = 0;
    friend bool operator==(const Inner&, const Inner&) = default;
};

struct Doc {
    std::string name;
    std::uint32_t count = 0;
    std::optional<std::int64_t> offset;
    std::vector<std::string> tags;  // omitted when empty
    Colour colour = Colour::Red;
    std::optional<Inner> inner;
    std::uint64_t total = 0;  // default when missing
    friend bool operator==(const Doc&, const Doc&) = default;
};

struct Plain {
    friend bool operator==(const Plain&, const Plain&) = default;
};
struct Sized {
    std::uint32_t size = 0;
    friend bool operator==(const Sized&, const Sized&) = default;
};
using Shape = std::variant<Plain, Sized>;

}  // namespace test_types

template <>
struct vorelcore_json::EnumTable<test_types::Colour> {
    using E = test_types::Colour;
    static constexpr std::string_view type_name = "Colour";
    static constexpr std::array<EnumEntry<E>, 3> entries{
        {{E::Red, "red", "Red"}, {E::Green, "green", "Green"}, {E::Blue, "light_blue", "LightBlue"}}};
};
template <>
struct vorelcore_json::EnumTable<test_types::Pair> {
    using E = test_types::Pair;
    static constexpr std::string_view type_name = "Pair";
    static constexpr std::array<EnumEntry<E>, 2> entries{{{E::Yes, "yes", "Yes"}, {E::No, "no", "No"}}};
};
template <>
struct vorelcore_json::EnumTable<test_types::Single> {
    using E = test_types::Single;
    static constexpr std::string_view type_name = "Single";
    static constexpr std::array<EnumEntry<E>, 1> entries{{{E::Only, "only", "Only"}}};
};
template <>
struct vorelcore_json::Fields<test_types::Inner> {
    using T = test_types::Inner;
    static constexpr std::string_view name = "Inner";
    static constexpr auto list = std::make_tuple(field("small", &T::small));
};
template <>
struct vorelcore_json::Fields<test_types::Doc> {
    using T = test_types::Doc;
    static constexpr std::string_view name = "Doc";
    static constexpr auto list =
        std::make_tuple(field("name", &T::name), field("count", &T::count), field("offset", &T::offset),
                        field_omit_empty("tags", &T::tags), field("colour", &T::colour), field("inner", &T::inner),
                        field_default("total", &T::total));
};
template <>
struct vorelcore_json::Fields<test_types::Plain> {
    static constexpr std::string_view name = "Plain";
    static constexpr auto list = std::make_tuple();
};
template <>
struct vorelcore_json::Fields<test_types::Sized> {
    using T = test_types::Sized;
    static constexpr std::string_view name = "Sized";
    static constexpr auto list = std::make_tuple(field("size", &T::size));
};
template <>
struct vorelcore_json::InternallyTagged<test_types::Shape> {
    static constexpr std::string_view name = "Shape";
    static constexpr std::string_view tag = "type";
    static constexpr std::array<std::string_view, 2> variants{"plain", "sized"};
};

namespace vorelcore_json {
namespace {

using test_types::Doc;

template <class T>
std::string error_of(std::string_view text) {
    auto r = from_text<T>(text);
    return r ? "<read>" : r.error();
}

TEST(JsonCodec, ReadsDeclaredMembersSkipsOthersAndWritesInDeclarationOrder) {
    auto doc = from_text<Doc>(
        R"({"colour": "light_blue", "unknown": {"deep": [1, 2]}, "count": 7, "name": "n", "offset": null})");
    ASSERT_TRUE(doc) << doc.error();
    EXPECT_EQ(doc->name, "n");
    EXPECT_EQ(doc->count, 7u);
    EXPECT_FALSE(doc->offset);
    EXPECT_TRUE(doc->tags.empty());
    EXPECT_EQ(doc->colour, test_types::Colour::Blue);
    EXPECT_EQ(doc->total, 0u);
    // Absent optional and empty omitted list disappear; the defaulted member is written.
    EXPECT_EQ(to_pretty(*doc),
              "{\n  \"name\": \"n\",\n  \"count\": 7,\n  \"colour\": \"light_blue\",\n  \"total\": 0\n}");

    Doc full = *doc;
    full.offset = -5;
    full.tags = {"a"};
    full.inner = test_types::Inner{9};
    full.total = 18446744073709551615ULL;
    auto back = from_text<Doc>(to_pretty(full));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, full);
}

TEST(JsonCodec, StructuralErrorsNameTheFaultAndItsPosition) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"5", "invalid type: integer `5`, expected struct Doc at line 1 column 1"},
        {"[]", "invalid type: sequence, expected struct Doc at line 1 column 2"},
        {"{}", "missing field `name` at line 1 column 2"},
        {"{\"name\": \"a\",\n \"colour\": \"red\"\n}", "missing field `count` at line 3 column 1"},
        {R"({"name": "a", "name": "b", "count": 1, "colour": "red"})", "duplicate field `name` at line 1 column 20"},
        {R"({"name": 1, "count": 1, "colour": "red"})", "invalid type: integer `1`, expected a string at line 1 column 10"},
        {R"({"name": "a", "count": -1, "colour": "red"})", "invalid value: integer `-1`, expected u32 at line 1 column 25"},
        {R"({"name": "a", "count": 4294967296, "colour": "red"})",
         "invalid value: integer `4294967296`, expected u32 at line 1 column 33"},
        {R"({"name": "a", "count": 1.5, "colour": "red"})",
         "invalid type: floating point `1.5`, expected u32 at line 1 column 26"},
        {R"({"name": "a", "count": 1.0, "colour": "red"})",
         "invalid type: floating point `1.0`, expected u32 at line 1 column 26"},
        {R"({"name": "a", "count": true, "colour": "red"})",
         "invalid type: boolean `true`, expected u32 at line 1 column 27"},
        {R"({"name": "a", "count": 1, "colour": "Red"})",
         "unknown variant `Red`, expected one of `red`, `green`, `light_blue` at line 1 column 41"},
        {R"({"name": "a", "count": 1, "colour": 3})",
         "invalid type: integer `3`, expected enum Colour at line 1 column 37"},
        {R"({"name": "a", "count": 1, "colour": "red", "inner": {"small": 65536}})",
         "invalid value: integer `65536`, expected u16 at line 1 column 67"},
        {R"({"name": "a", "count": 1, "colour": "red", "tags": "x"})",
         "invalid type: string \"x\", expected a sequence at line 1 column 54"},
        {R"({"name": "a", "count": 1, "colour": "red", "tags": [null]})",
         "invalid type: null, expected a string at line 1 column 56"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of<Doc>(c.text), c.message) << c.text;
}

TEST(JsonCodec, UnknownVariantListsTheChoicesInOneTwoOrManyForm) {
    EXPECT_EQ(error_of<test_types::Pair>("\"maybe\""), "unknown variant `maybe`, expected `yes` or `no` at line 1 column 7");
    EXPECT_EQ(error_of<test_types::Single>("\"x\""), "unknown variant `x`, expected `only` at line 1 column 3");
}

TEST(JsonCodec, InternallyTaggedReadsWholeObjectAndReportsAtItsEnd) {
    auto sized = from_text<test_types::Shape>(R"({"size": 3, "type": "sized", "extra": 1})");
    ASSERT_TRUE(sized) << sized.error();
    EXPECT_EQ(std::get<test_types::Sized>(*sized).size, 3u);
    EXPECT_EQ(to_pretty(*sized), "{\n  \"type\": \"sized\",\n  \"size\": 3\n}");
    auto plain = from_text<test_types::Shape>(R"({"type": "plain", "size": "ignored"})");
    ASSERT_TRUE(plain) << plain.error();
    EXPECT_TRUE(std::holds_alternative<test_types::Plain>(*plain));

    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"{\"type\": \"round\",\n \"size\": 1}", "unknown variant `round`, expected `plain` or `sized` at line 2 column 11"},
        {R"({"size": 1})", "missing field `type` at line 1 column 11"},
        {R"({"type": "sized"})", "missing field `size` at line 1 column 17"},
        {R"({"type": "sized", "size": -4})", "invalid value: integer `-4`, expected u32 at line 1 column 29"},
        {R"({"type": 1})", "invalid type: integer `1`, expected variant identifier at line 1 column 11"},
        {R"({"type": "plain", "type": "plain"})", "duplicate field `type` at line 1 column 34"},
        {R"("sized")", "invalid type: string \"sized\", expected internally tagged enum Shape at line 1 column 7"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of<test_types::Shape>(c.text), c.message) << c.text;
}

TEST(JsonCodec, MapsAreSortedByKeyBytesAndRefuseRepeatedKeys) {
    using Map = std::map<std::string, std::string>;
    auto map = from_text<Map>(R"({"b": "2", "B": "1", "\u00e9": "3", "a": "0"})");
    ASSERT_TRUE(map) << map.error();
    EXPECT_EQ(to_pretty(*map), "{\n  \"B\": \"1\",\n  \"a\": \"0\",\n  \"b\": \"2\",\n  \"\u00e9\": \"3\"\n}");
    EXPECT_EQ(error_of<Map>(R"({"k": "1", "k": "2"})"), "duplicate field `k` at line 1 column 14");
    EXPECT_EQ(error_of<Map>(R"({"k": 1})"), "invalid type: integer `1`, expected a string at line 1 column 7");
    EXPECT_EQ(error_of<Map>("[]"), "invalid type: sequence, expected a map at line 1 column 2");
}

TEST(JsonCodec, SignedIntegersKeepTheirRange) {
    EXPECT_EQ(*from_text<std::int64_t>("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(error_of<std::int64_t>("9223372036854775808"),
              "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 19");
    EXPECT_EQ(*from_text<std::uint64_t>("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(error_of<std::uint64_t>("18446744073709551616"),
              "invalid type: floating point `18446744073709551616.0`, expected u64 at line 1 column 20");
}

}  // namespace
}  // namespace vorelcore_json
