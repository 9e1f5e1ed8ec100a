#include "vorelcore_crypto/sign.hpp"

#include <optional>

#include "vorelcore_error/text.hpp"

namespace vorelcore_crypto::sign {

namespace {


// A character starts at `index` unless the byte there continues a UTF-8
// sequence; both ends of the text are boundaries.
bool is_char_boundary(std::string_view text, std::size_t index) {
    if (index == 0 || index >= text.size()) return true;
    return (static_cast<unsigned char>(text[index]) & 0xC0) != 0x80;
}

}  // namespace

std::expected<Signature, vorelcore_error::CoreError> Signature::from_hex(std::string_view text) {
    using vorelcore_error::CoreError;
    if (text.size() != kHexLength) {
        return std::unexpected(CoreError::validation("ed25519 signature must be 128 hex characters, got " +
                                                     std::to_string(text.size())));
    }
    std::array<std::uint8_t, kSize> bytes{};
    for (std::size_t i = 0; i < kSize; ++i) {
        const std::size_t at = 2 * i;
        if (!is_char_boundary(text, at) || !is_char_boundary(text, at + 2)) {
            return std::unexpected(CoreError::validation("signature is not ASCII"));
        }
        const std::string_view pair = text.substr(at, 2);
        const auto byte = vorelcore_error::hex_pair(pair[0], pair[1]);
        if (!byte) {
            return std::unexpected(
                CoreError::validation("invalid hex in signature: " + vorelcore_error::debug_quoted(pair)));
        }
        bytes[i] = *byte;
    }
    return Signature(bytes);
}

std::string Signature::to_hex() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(kHexLength);
    for (std::uint8_t byte : bytes_) {
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0x0f]);
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const Signature& signature) { return out << signature.to_hex(); }

}  // namespace vorelcore_crypto::sign
