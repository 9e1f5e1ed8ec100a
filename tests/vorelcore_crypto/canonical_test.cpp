#include "vorelcore_crypto/canonical.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/parse.hpp"

namespace {

namespace canonical = vorelcore_crypto::canonical;
using vorelcore_error::CoreError;
using vorelcore_crypto::Bytes;
using vorelcore_json::Value;

// Parses a JSON text written in a test table; a typo in the table fails the
// test instead of silently testing something else.
Value json(std::string_view text) {
    auto value = vorelcore_json::parse(text);
    EXPECT_TRUE(value.has_value()) << "bad test input " << text << ": " << value.error().message;
    return value ? *value : Value();
}

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The canonical bytes of a JSON text, or the error's display text behind "error: ".
std::string canonical_text(std::string_view input) {
    auto bytes = canonical::canonical_value_bytes(json(input));
    if (!bytes) return "error: " + bytes.error().message();
    return as_text(*bytes);
}

// ------------------------------------------------------------ written bytes

struct BytesCase {
    const char* name;
    std::string_view input;  // JSON text
    std::string_view expected;
};

const BytesCase kBytesCases[] = {
    {"integer one", "1", "1"},
    {"zero", "0", "0"},
    {"negative integer", "-42", "-42"},
    {"largest unsigned", "18446744073709551615", "18446744073709551615"},
    {"smallest signed", "-9223372036854775808", "-9223372036854775808"},
    {"null", "null", "null"},
    {"true", "true", "true"},
    {"false", "false", "false"},
    {"empty object", "{}", "{}"},
    {"empty array", "[]", "[]"},
    {"empty string", R"("")", R"("")"},
    {"whitespace removed", " { \"k\" : [ 1 , 2 ] , \"j\" : { } } ", R"({"j":{},"k":[1,2]})"},
    {"array order kept", "[3,1,2]", "[3,1,2]"},
    {"keys in byte order, upper case first", R"({"b":1,"a":2,"B":3})", R"({"B":3,"a":2,"b":1})"},
    {"prefix sorts first", R"({"ab":1,"a":2})", R"({"a":2,"ab":1})"},
    {"digits before letters", R"({"a":1,"1":2,"_":3,"A":4})", R"({"1":2,"A":4,"_":3,"a":1})"},
    {"nested objects sorted at every level", R"({"z":{"y":[{"b":null,"a":true}],"x":false},"m":"v"})",
     R"({"m":"v","z":{"x":false,"y":[{"a":true,"b":null}]}})"},
    // Byte order of UTF-8 is code point order: é (C3 A9) < ÿ (C3 BF) < ﬁ
    // (EF AC 81) < 𝄞 (F0 9D 84 9E). Sorting by UTF-16 units would put 𝄞
    // (a surrogate pair) before ﬁ; sorting signed chars would put every
    // non-ASCII key before "z".
    {"non-ASCII keys sorted by bytes", R"({"\ud834\udd1e":1,"\ufb01":2,"\u00ff":3,"\u00e9":4,"z":5,"Z":6})",
     R"({"Z":6,"z":5,"é":4,"ÿ":3,"ﬁ":2,"𝄞":1})"},
    // Escapes.
    {"tab quote backslash U+0001", R"("\t\"\\\u0001")", R"("\t\"\\\u0001")"},
    {"backspace form feed line feed carriage return", R"("\b\f\n\r")", R"("\b\f\n\r")"},
    {"other controls as lower-case \\u00xx", R"("\u0000\u000b\u001F\u001a\u000E")",
     R"("\u0000\u000b\u001f\u001a\u000e")"},
    {"slash written raw", R"("a\/b/c")", R"("a/b/c")"},
    {"U+007F written raw", R"("\u007f")", "\"\x7f\""},
    {"space and tilde raw", R"(" ~")", R"(" ~")"},
    {"non-ASCII written raw", R"("\u00e9\u20ac\ud83d\ude00")", "\"é€😀\""},
    // Normalisation shows in the bytes.
    {"e + acute becomes precomposed", R"("e\u0301")", "\"\xC3\xA9\""},
    {"second mark stays", R"("e\u0301\u0301")", "\"\xC3\xA9\xCC\x81\""},
    {"keys normalised", R"({"e\u0301":1})", "{\"\xC3\xA9\":1}"},
    {"normalised key sorts by its new bytes", R"({"f":1,"e\u0301":2})", R"({"f":1,"é":2})"},
};

class CanonicalBytes : public testing::TestWithParam<BytesCase> {};

TEST_P(CanonicalBytes, WritesExactBytes) { EXPECT_EQ(canonical_text(GetParam().input), GetParam().expected); }

// The canonical value itself already holds its members in order (value
// equality is order-sensitive), not only the bytes written from it.
TEST_P(CanonicalBytes, CanonicalValueIsInOrder) {
    canonical::Path path;
    auto value = canonical::canonicalize(json(GetParam().input), path);
    ASSERT_TRUE(value.has_value()) << value.error().message();
    EXPECT_EQ(*value, json(GetParam().expected));
}

// Canonical bytes are JSON that reads back to a value with the same
// canonical bytes: catches an escape that is not valid JSON or that reads
// back as a different character.
TEST_P(CanonicalBytes, ReadsBackToTheSameBytes) {
    EXPECT_EQ(canonical_text(GetParam().expected), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CanonicalBytes, testing::ValuesIn(kBytesCases),
                         [](const testing::TestParamInfo<BytesCase>& info) {
                             std::string name;
                             for (const char c : std::string_view(info.param.name)) {
                                 if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
                                     name.push_back(c);
                                 } else {
                                     name.push_back('_');
                                 }
                             }
                             return name + "_" + std::to_string(info.index);
                         });

// Every byte value below 0x20 has exactly one written form.
TEST(CanonicalBytesTest, EveryControlCharacterHasItsEscape) {
    const std::map<int, std::string> short_forms = {
        {0x08, "\\b"}, {0x09, "\\t"}, {0x0A, "\\n"}, {0x0C, "\\f"}, {0x0D, "\\r"},
    };
    for (int c = 0; c < 0x20; ++c) {
        char expected_long[8];
        std::snprintf(expected_long, sizeof expected_long, "\\u%04x", c);
        const std::string expected =
            "\"" + (short_forms.contains(c) ? short_forms.at(c) : std::string(expected_long)) + "\"";
        Bytes out;
        canonical::write_value(Value(std::string(1, static_cast<char>(c))), out);
        EXPECT_EQ(as_text(out), expected) << "code point " << c;
    }
}

// ------------------------------------------------------------------ refusals

constexpr std::string_view kFloatTail =
    " cannot be canonicalised; use an integer or a decimal string in signed contracts";

struct RefusalCase {
    std::string_view input;  // JSON text
    std::string expected;    // display text of the CoreError
};

std::string float_at(std::string_view path) {
    return "canonical serialization failed: floating-point number at " + std::string(path) + std::string(kFloatTail);
}
std::string duplicate(std::string_view quoted_key) {
    return "canonical serialization failed: duplicate object key " + std::string(quoted_key) +
           " after Unicode normalisation";
}

const RefusalCase kRefusals[] = {
    {"1.0", float_at("<root>")},
    {"1e3", float_at("<root>")},
    {"-0.5", float_at("<root>")},
    {"18446744073709551616", float_at("<root>")},   // beyond u64
    {"-9223372036854775809", float_at("<root>")},   // beyond i64
    {R"({"weight":1.0})", float_at("weight")},
    {"[1,2.5]", float_at("1")},
    {R"({"steps":[{"a":1},{"a":2},{"weight":0.25}]})", float_at("steps.2.weight")},
    {R"({"a":{"b":[[0,1e-2]]}})", float_at("a.b.0.1")},
    // The path holds the key after normalisation.
    {R"({"e\u0301":{"x":1.5}})", float_at("é.x")},
    // Members are walked in the order they arrive, before sorting.
    {R"({"b":1.5,"a":2.5})", float_at("b")},
    // Values are walked before keys are compared.
    {R"({"a":1,"a":1.5})", float_at("a")},
    // Duplicates.
    {R"({"a":1,"a":2})", duplicate(R"("a")")},
    {R"({"e\u0301":1,"\u00e9":2})", duplicate(R"("é")")},
    {R"({"\u00e9":1,"x":0,"e\u0301":2})", duplicate(R"("é")")},
    {R"({"a\"b":1,"a\"b":2})", duplicate(R"("a\"b")")},
    {R"({"tab\there":1,"tab\there":2})", duplicate(R"("tab\there")")},
    {R"([{"k":{"x":1,"x":2}}])", duplicate(R"("x")")},
};

class CanonicalRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(CanonicalRefusal, RefusesWithItsMessage) {
    auto bytes = canonical::canonical_value_bytes(json(GetParam().input));
    ASSERT_FALSE(bytes.has_value()) << "accepted: " << as_text(*bytes);
    EXPECT_EQ(bytes.error().kind(), CoreError::Kind::CanonicalSerialization);
    EXPECT_EQ(bytes.error().message(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CanonicalRefusal, testing::ValuesIn(kRefusals));

TEST(CanonicalizeTest, PathGivenByTheCallerPrefixesMessagesAndIsLeftAsItWas) {
    canonical::Path path = {"outer", "3"};
    auto result = canonical::canonicalize(json(R"({"inner":[0.5]})"), path);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message(), float_at("outer.3.inner.0"));
    EXPECT_EQ(path, (canonical::Path{"outer", "3"}));

    auto ok = canonical::canonicalize(json(R"({"b":[1],"a":{}})"), path);
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(path, (canonical::Path{"outer", "3"}));
}

TEST(CanonicalizeTest, ResultIsSortedAndNormalisedInputIsUntouched) {
    const Value input = json(R"({"b":"o\u0308","a":[{"d":1,"c":2}]})");
    const Value before = input;
    canonical::Path path;
    auto result = canonical::canonicalize(input, path);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, json(R"({"a":[{"c":2,"d":1}],"b":"\u00f6"})"));
    EXPECT_EQ(input, before);
}

// write_value of an object that was never canonicalised still writes key order.
TEST(WriteValueTest, WritesObjectMembersInKeyOrder) {
    vorelcore_json::Object object;
    vorelcore_json::push_member(object, "b", Value(std::uint64_t{1}));
    vorelcore_json::push_member(object, "a", Value(std::int64_t{-1}));
    Bytes out = {'x'};
    canonical::write_value(Value(std::move(object)), out);
    EXPECT_EQ(as_text(out), R"(x{"a":-1,"b":1})");  // appended, never cleared
}

// ------------------------------------------------------------ normalisation

struct NormalizeCase {
    std::string_view input;
    std::string_view expected;
};

const NormalizeCase kNormalizeCases[] = {
    {"", ""},
    {"plain ASCII ~!\x7f", "plain ASCII ~!\x7f"},
    {"e\u0301", "\u00e9"},
    {"e\u0300", "\u00e8"},
    {"e\u0301\u0301", "\u00e9\u0301"},         // a precomposed result never takes a second mark
    {"e\u0301e\u0301", "\u00e9\u00e9"},
    {"cafe\u0301 au lait", "caf\u00e9 au lait"},
    {"na\u00efve e\u0301", "na\u00efve \u00e9"},  // other non-ASCII passes through
    {"\u00e9\u0301", "\u00e9\u0301"},              // already precomposed
    {"C\u0327", "C\u0327"},                        // cedilla is not in the table
    {"c\u0327\u030c", "c\u0327\u030c"},            // two marks in a row
    {"\u0301e", "\u0301e"},                        // mark at the start
    {"\u0301", "\u0301"},
    {"x\u0301", "x\u0301"},                        // letter not in the table
    {"E\u0303", "E\u0303"},                        // mark not listed for the letter
    {"Y\u0308", "Y\u0308"},
    {"e\u0304", "e\u0304"},                        // macron is not one of the marks
    {"e\u0341", "e\u0341"},                        // same second byte as the acute, other code point
    {"\u00c5\u030a", "\u00c5\u030a"},
    {"1\u0301", "1\u0301"},
    {"e\u20ac", "e\u20ac"},
    {"e", "e"},
    {"\u00e9e", "\u00e9e"},
    {"e\u0301\U0001d11e", "\u00e9\U0001d11e"},
};

class Normalize : public testing::TestWithParam<NormalizeCase> {};

TEST_P(Normalize, ComposesOnlyListedPairs) {
    EXPECT_EQ(canonical::normalize(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Normalize, testing::ValuesIn(kNormalizeCases));

// Every ASCII letter against every one of the seven marks: exactly the pairs
// below compose (written here as the characters themselves), every other
// pair stays as it was.
TEST(NormalizeTest, CompositionTableIsExactlyTheListedPairs) {
    const std::map<std::string, std::string> composes = {
        {"A\u0300", "À"}, {"A\u0301", "Á"}, {"A\u0302", "Â"}, {"A\u0303", "Ã"}, {"A\u0308", "Ä"}, {"A\u030a", "Å"},
        {"a\u0300", "à"}, {"a\u0301", "á"}, {"a\u0302", "â"}, {"a\u0303", "ã"}, {"a\u0308", "ä"}, {"a\u030a", "å"},
        {"E\u0300", "È"}, {"E\u0301", "É"}, {"E\u0302", "Ê"}, {"E\u0308", "Ë"},
        {"e\u0300", "è"}, {"e\u0301", "é"}, {"e\u0302", "ê"}, {"e\u0308", "ë"},
        {"I\u0300", "Ì"}, {"I\u0301", "Í"}, {"I\u0302", "Î"}, {"I\u0308", "Ï"},
        {"i\u0300", "ì"}, {"i\u0301", "í"}, {"i\u0302", "î"}, {"i\u0308", "ï"},
        {"O\u0300", "Ò"}, {"O\u0301", "Ó"}, {"O\u0302", "Ô"}, {"O\u0303", "Õ"}, {"O\u0308", "Ö"},
        {"o\u0300", "ò"}, {"o\u0301", "ó"}, {"o\u0302", "ô"}, {"o\u0303", "õ"}, {"o\u0308", "ö"},
        {"U\u0300", "Ù"}, {"U\u0301", "Ú"}, {"U\u0302", "Û"}, {"U\u0308", "Ü"},
        {"u\u0300", "ù"}, {"u\u0301", "ú"}, {"u\u0302", "û"}, {"u\u0308", "ü"},
        {"C\u030c", "Č"}, {"c\u030c", "č"}, {"S\u030c", "Š"}, {"s\u030c", "š"}, {"Z\u030c", "Ž"}, {"z\u030c", "ž"},
        {"N\u0303", "Ñ"}, {"n\u0303", "ñ"},
        {"Y\u0301", "Ý"}, {"y\u0301", "ý"}, {"y\u0308", "ÿ"},
    };
    const std::array<std::string_view, 7> marks = {"\u0300", "\u0301", "\u0302", "\u0303",
                                                   "\u0308", "\u030a", "\u030c"};
    std::size_t composed = 0;
    for (char letter = 'A'; letter <= 'z'; ++letter) {
        if (letter > 'Z' && letter < 'a') continue;
        for (const std::string_view mark : marks) {
            const std::string pair = std::string(1, letter) + std::string(mark);
            const auto it = composes.find(pair);
            const std::string expected = it == composes.end() ? pair : it->second;
            EXPECT_EQ(canonical::normalize(pair), expected) << "letter " << letter;
            // The same pair in the middle of a text, after a non-ASCII character.
            EXPECT_EQ(canonical::normalize("\u00df" + pair + "!"), "\u00df" + expected + "!") << "letter " << letter;
            if (it != composes.end()) ++composed;
        }
    }
    EXPECT_EQ(composed, composes.size());
}

// ------------------------------------------------------------- typed values

struct Step {
    std::string name;
    std::optional<std::int64_t> offset;
    friend bool operator==(const Step&, const Step&) = default;
};

struct Doc {
    std::string title;
    std::uint32_t version = 0;
    std::vector<Step> steps;
    std::optional<std::string> note;
    vorelcore_crypto::hash::ContentHash previous;
};

struct Weighted {
    std::string name;
    double weight = 0;
};

}  // namespace

template <>
struct vorelcore_json::Fields<Step> {
    static constexpr std::string_view name = "Step";
    static constexpr auto list = std::make_tuple(field("name", &Step::name), field("offset", &Step::offset));
};

template <>
struct vorelcore_json::Fields<Doc> {
    static constexpr std::string_view name = "Doc";
    static constexpr auto list = std::make_tuple(field("title", &Doc::title), field("version", &Doc::version),
                                                 field_omit_empty("steps", &Doc::steps), field("note", &Doc::note),
                                                 field("previous", &Doc::previous));
};

template <>
struct vorelcore_json::Fields<Weighted> {
    static constexpr std::string_view name = "Weighted";
    static constexpr auto list = std::make_tuple(field("name", &Weighted::name), field("weight", &Weighted::weight));
};

namespace {

TEST(CanonicalBytesOfTypedValue, IsTheCanonicalFormOfItsJsonValue) {
    Doc doc;
    doc.title = "Re\u0301sume\u0301";
    doc.version = 3;
    doc.steps = {Step{"zeta", -7}, Step{"alpha", std::nullopt}};
    doc.previous = vorelcore_crypto::hash::blake3_hash(std::string_view("abc"));

    auto typed = canonical::canonical_bytes(doc);
    ASSERT_TRUE(typed.has_value());
    auto generic = canonical::canonical_value_bytes(vorelcore_json::to_value(doc));
    ASSERT_TRUE(generic.has_value());
    EXPECT_EQ(*typed, *generic);
    // Absent optional members are left out, array order is kept, the hash is
    // its text form ("abc" hashed by b3sum 1.2.0).
    EXPECT_EQ(as_text(*typed),
              R"({"previous":"blake3:6437b3ac38465133ffb63b75273a8db548c558465d79db03fd359c6cd5bd9d85",)"
              R"("steps":[{"name":"zeta","offset":-7},{"name":"alpha"}],"title":"Résumé","version":3})");
}

TEST(CanonicalBytesOfTypedValue, FloatingPointMemberIsRefusedByName) {
    auto bytes = canonical::canonical_bytes(Weighted{"w", 2.0});
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().message(), float_at("weight"));
}

}  // namespace
