#include "hex.hpp"

#include <sodium.h>

#include <optional>

#include "vorelcore_error/text.hpp"

namespace razavovivodidi {
namespace {


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
        const auto byte = vorelcore_error::hex_pair(pair[0], pair[1]);
        if (!byte) return std::unexpected(std::string("invalid digit found in string"));
        bytes[i] = *byte;
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

std::expected<vorelcore_crypto::keys::SigningKey, std::string> signing_key_from_hex(std::string_view seed_hex) {
    auto seed = parse_hex32(seed_hex);
    if (!seed) return std::unexpected(std::move(seed.error()));
    auto key = vorelcore_crypto::keys::SigningKey::from_bytes(*seed);
    sodium_memzero(seed->data(), seed->size());
    return key;
}

}  // namespace razavovivodidi
