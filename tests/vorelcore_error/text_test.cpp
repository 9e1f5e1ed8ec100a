#include "vorelcore_error/text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using vorelcore_error::check_utf8;
using vorelcore_error::debug_quoted;

using namespace std::string_literals;

TEST(CheckUtf8, AcceptsWellFormedText) {
    const std::string valid[] = {
        ""s,
        "plain ascii \x01\x7f"s,
        "nul inside \0 text"s,
        "caf\xc3\xa9"s,                    // U+00E9
        "\xe2\x80\x94"s,                   // U+2014, three bytes
        "\xf0\x9f\x98\x80"s,               // U+1F600, four bytes
        "\xed\x9f\xbf"s,                   // U+D7FF, just below the surrogates
        "\xee\x80\x80"s,                   // U+E000, just above them
        "\xf4\x8f\xbf\xbf"s,               // U+10FFFF, the last code point
        "\xc2\x80\xdf\xbf\xe0\xa0\x80"s,   // smallest two- and three-byte forms
    };
    for (const auto& text : valid) {
        SCOPED_TRACE(debug_quoted(text));
        const auto error = check_utf8(text);
        EXPECT_FALSE(error.has_value()) << error->message();
    }
}

TEST(CheckUtf8, ReportsWhereAndHowTextIsMalformed) {
    struct Case {
        std::string text;
        std::size_t valid_up_to;
        std::optional<std::size_t> error_len;
        std::string_view message;
    };
    const Case cases[] = {
        {"\xff"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        {"\x80"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},  // lone continuation byte
        {"ab\xf5\x80\x80\x80"s, 2, 1, "invalid utf-8 sequence of 1 bytes from index 2"},
        // Overlong forms.
        {"\xc0\x80"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        {"\xc1\xbf"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        {"\xe0\x80\x80"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        {"\xf0\x80\x80\x80"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        // Surrogates and code points above U+10FFFF.
        {"x\xed\xa0\x80"s, 1, 1, "invalid utf-8 sequence of 1 bytes from index 1"},
        {"\xed\xbf\xbf"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        {"\xf4\x90\x80\x80"s, 0, 1, "invalid utf-8 sequence of 1 bytes from index 0"},
        // A sequence broken off by a byte that cannot continue it.
        {"\xe2\x82z"s, 0, 2, "invalid utf-8 sequence of 2 bytes from index 0"},
        {"caf\xf0\x9f\x98z"s, 3, 3, "invalid utf-8 sequence of 3 bytes from index 3"},
        {"\xc3\xa9\xc3("s, 2, 1, "invalid utf-8 sequence of 1 bytes from index 2"},
        // A sequence cut short by the end of the text.
        {"a\xe2\x82"s, 1, std::nullopt, "incomplete utf-8 byte sequence from index 1"},
        {"\xc3"s, 0, std::nullopt, "incomplete utf-8 byte sequence from index 0"},
        {"\xc3\xa9\xf0\x9f\x98"s, 2, std::nullopt, "incomplete utf-8 byte sequence from index 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(debug_quoted(c.text));
        const auto error = check_utf8(c.text);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->valid_up_to, c.valid_up_to);
        EXPECT_EQ(error->error_len, c.error_len);
        EXPECT_EQ(error->message(), c.message);
    }
}

TEST(DebugQuoted, QuotesAndEscapesLikeADebugRendering) {
    struct Case {
        std::string text;
        std::string_view quoted;
    };
    const Case cases[] = {
        {""s, R"("")"},
        {"plain text"s, R"("plain text")"},
        {R"(say "hi" \ bye)"s, R"("say \"hi\" \\ bye")"},
        {"it's"s, R"("it's")"},
        {"\t\r\n"s, R"("\t\r\n")"},
        {"a\0b"s, R"("a\0b")"},
        {"\x01\x1b\x1f\x7f"s, R"("\u{1}\u{1b}\u{1f}\u{7f}")"},
        {"caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x98\x80"s, "\"caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x98\x80\""},
        {"c1 \xc2\x85 \xc2\x9f \xc2\xa0"s, "\"c1 \\u{85} \\u{9f} \xc2\xa0\""},
        {"bad \xff byte"s, R"("bad \xff byte")"},
        {"cut \xe2\x82"s, R"("cut \xe2\x82")"},
        {"\xed\xa0\x80"s, R"("\xed\xa0\x80")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quoted);
        EXPECT_EQ(debug_quoted(c.text), c.quoted);
    }
}

}  // namespace

TEST(TrimUnicodeWhitespace, StripsEveryWhiteSpaceCharacterAtBothEndsOnly) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {" \t\n\r\v\f", ""},
        {"  a b  ", "a b"},
        {"\xc2\x85\xc2\xa0x\xe1\x9a\x80", "x"},                            // U+0085, U+00A0, U+1680
        {"\xe2\x80\x80\xe2\x80\x8a y \xe2\x80\xa8\xe2\x80\xa9", "y"},  // U+2000, U+200A, U+2028, U+2029
        {"\xe2\x80\xafz\xe2\x81\x9f\xe3\x80\x80", "z"},                   // U+202F, U+205F, U+3000
        {"\xe2\x80\x8bq\xe2\x80\x8b", "\xe2\x80\x8bq\xe2\x80\x8b"},     // U+200B is not white space
        {"\xc3\xa9 ", "\xc3\xa9"},
        {" \xff ", "\xff"},                                                      // not UTF-8: kept, never white
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(debug_quoted(c.in));
        EXPECT_EQ(vorelcore_error::trim_unicode_whitespace(c.in), c.out);
    }
}
