#pragma once
// Small text helpers shared by every error message that quotes user input,
// and the one UTF-8 check the whole code base uses.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorelcore_error {

// Where UTF-8 validation stopped: the bytes before `valid_up_to` are valid;
// `error_len` is the length of the invalid sequence found there, or empty
// when the text ends in the middle of an otherwise valid sequence.
struct Utf8Error {
    std::size_t valid_up_to = 0;
    std::optional<std::size_t> error_len;

    // "invalid utf-8 sequence of {n} bytes from index {i}" or
    // "incomplete utf-8 byte sequence from index {i}".
    std::string message() const;
};

// Empty when the whole text is well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
std::optional<Utf8Error> check_utf8(std::string_view text);

// Unicode white space (the White_Space property): tab through carriage
// return, space, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029,
// U+202F, U+205F, U+3000.
bool is_unicode_whitespace(char32_t c);

// The text without leading and trailing Unicode white space. Bytes that are
// not UTF-8 are never white space.
std::string_view trim_unicode_whitespace(std::string_view text);

// "{description} (os error {code})": how an operating-system error reads in
// every message of this system.
std::string os_error_text(int code);

// The value of one hexadecimal digit in either case.
std::optional<std::uint8_t> hex_digit(char c);

// The byte two hexadecimal digits name, high nibble first.
std::optional<std::uint8_t> hex_pair(char high, char low);

// Renders text in double quotes with backslash escapes, the way messages
// quote user-supplied strings: \" \\ \t \r \n \0 and \u{..} for any other
// control character (C0 or C1), \x.. for a byte that is not UTF-8; printable non-ASCII
// stays as it is.
std::string debug_quoted(std::string_view text);

}  // namespace vorelcore_error
