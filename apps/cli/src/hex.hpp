#pragma once
// Hex text for 32-byte keys and seeds given on the command line, and the
// lower-case hex the program prints for bytes.
#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vorelcore_crypto/keys.hpp"

namespace razavovivodidi {

// Exactly 64 hex digits (either case), two per byte, most significant nibble
// first. Nothing is trimmed. Errors: "expected 64 hex characters, got {len}"
// (length in bytes), the UTF-8 decoder's message for a pair of bytes that is
// not UTF-8 by itself, or "invalid digit found in string".
std::expected<std::array<std::uint8_t, 32>, std::string> parse_hex32(std::string_view text);

// The signing key a --seed names: parse_hex32's errors, and the parsed seed
// bytes wiped as soon as the key holds them.
std::expected<vorelcore_crypto::keys::SigningKey, std::string> signing_key_from_hex(std::string_view seed_hex);

// Two lower-case hex digits per byte.
std::string hex_encode(std::span<const std::uint8_t> bytes);

}  // namespace razavovivodidi
