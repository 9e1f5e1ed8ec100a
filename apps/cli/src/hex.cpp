#include "hex.hpp"

#include <optional>

#include "vorelcore_error/text.hpp"

namespace razavovivodidi {
namespace {

std::optional<std::uint8_t> hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return std::nullopt;
}

}  // namespace

std::expected<std::array<std::uint8_t, 32>, std::string> parse_hex32(std::string_view text) {
    std::array<std::uint8_t, 32> bytes{};
    if (text.size() != 2 * bytes.size()) {
        return std::unexpected("expected 64 hex characters, got " + std::to_string(text.size()));
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::string_view pair = text.substr(2 * i, 2);
        // Each pair is decoded as text of its own, so a multi-byte character
        // split across two pairs is reported relative to its pair.
        if (const auto bad = vorelcore_error::check_utf8(pair)) {
            return std::unexpected(bad->message());
        }
        const auto high = hex_digit(pair[0]);
        const auto low = hex_digit(pair[1]);
        if (!high || !low) return std::unexpected(std::string("invalid digit found in string"));
        bytes[i] = static_cast<std::uint8_t>((*high << 4) | *low);
    }
    return bytes;
}

std::string hex_encode(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * bytes.size());
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

}  // namespace razavovivodidi
