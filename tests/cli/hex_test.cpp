#include "hex.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>

namespace {

using razavovivodidi::hex_encode;
using razavovivodidi::parse_hex32;

const std::string kHex64 = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

// kHex64 with the bytes at `offset` overwritten by `bytes`.
std::string with(std::size_t offset, const std::string& bytes) {
    std::string text = kHex64;
    text.replace(offset, bytes.size(), bytes);
    return text;
}

struct RefusedCase {
    std::string name;
    std::string text;
    std::string message;
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class ParseHex32Refuses : public testing::TestWithParam<RefusedCase> {};

TEST_P(ParseHex32Refuses, WithItsMessage) {
    const auto parsed = parse_hex32(GetParam().text);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHex32Refuses,
    testing::Values(
        RefusedCase{"Empty", "", "expected 64 hex characters, got 0"},
        RefusedCase{"SixtyThree", kHex64.substr(0, 63), "expected 64 hex characters, got 63"},
        RefusedCase{"SixtyFive", kHex64 + "0", "expected 64 hex characters, got 65"},
        RefusedCase{"TrailingNewline", kHex64 + "\n", "expected 64 hex characters, got 65"},
        // 63 characters but 64 bytes: the length is counted in bytes.
        RefusedCase{"LengthInBytes", kHex64.substr(0, 62) + "\xc3\xa9", "invalid digit found in string"},
        RefusedCase{"LetterG", with(40, "g"), "invalid digit found in string"},
        RefusedCase{"SignPrefix", with(0, "+f"), "invalid digit found in string"},
        RefusedCase{"Space", with(63, " "), "invalid digit found in string"},
        // U+00E9 is two bytes: aligned with a pair it is valid UTF-8 but no hex.
        RefusedCase{"TwoByteCharInOnePair", with(2, "\xc3\xa9"), "invalid digit found in string"},
        // Split across two pairs: the first pair ends in the middle of it.
        RefusedCase{"TwoByteCharSplit", with(3, "\xc3\xa9"), "incomplete utf-8 byte sequence from index 1"},
        // A continuation byte opening a pair; the index is within the pair.
        RefusedCase{"ContinuationFirst", with(4, "\xa9"), "invalid utf-8 sequence of 1 bytes from index 0"},
        RefusedCase{"ContinuationSecond", with(5, "\xa9"), "invalid utf-8 sequence of 1 bytes from index 1"},
        // U+20AC is three bytes; its first two fill a pair.
        RefusedCase{"ThreeByteCharInPair", with(0, "\xe2\x82\xac"), "incomplete utf-8 byte sequence from index 0"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST(ParseHex32, ReadsBytesInTextOrderInEitherCase) {
    std::array<std::uint8_t, 32> expected{};
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(parse_hex32(kHex64), expected);

    const std::string mixed = "aBcDeF" + kHex64.substr(6);
    const auto parsed = parse_hex32(mixed);
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ((*parsed)[0], 0xab);
    EXPECT_EQ((*parsed)[1], 0xcd);
    EXPECT_EQ((*parsed)[2], 0xef);
}

TEST(HexEncode, IsLowerCaseTwoDigitsPerByteAndRoundTrips) {
    EXPECT_EQ(hex_encode(std::array<std::uint8_t, 5>{0x00, 0x0f, 0xf0, 0xff, 0xab}), "000ff0ffab");
    EXPECT_EQ(hex_encode({}), "");

    std::array<std::uint8_t, 32> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0xff - 7 * i);
    const std::string text = hex_encode(bytes);
    EXPECT_EQ(text.size(), 64u);
    EXPECT_EQ(parse_hex32(text), bytes);

    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(parse_hex32(upper), bytes);
}

}  // namespace
