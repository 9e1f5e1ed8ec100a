#pragma once
// Ed25519 signatures (RFC 8032): 64 bytes, R then S. Their text and JSON
// form is exactly 128 lower-case hexadecimal digits, two per byte in order.
#include <array>
#include <cstdint>
#include <expected>
#include <ostream>
#include <string>
#include <string_view>

#include "vorelcore_error/error.hpp"

namespace vorelcore_crypto::sign {

class Signature {
public:
    static constexpr std::size_t kSize = 64;
    static constexpr std::size_t kHexLength = 2 * kSize;

    // All zero: a placeholder before a document is read or a value is signed.
    Signature() = default;
    explicit Signature(const std::array<std::uint8_t, kSize>& bytes) : bytes_(bytes) {}

    // Exactly 128 hexadecimal digits in either case. Failures are
    // CoreError::Validation: the length in bytes when it is not 128, then,
    // pair by pair, "signature is not ASCII" for a pair that splits a
    // character and the quoted pair when it is not hexadecimal.
    static std::expected<Signature, vorelcore_error::CoreError> from_hex(std::string_view text);
    static std::expected<Signature, vorelcore_error::CoreError> parse(std::string_view text) {
        return from_hex(text);
    }

    std::string to_hex() const;  // 128 lower-case digits
    std::string to_string() const { return to_hex(); }

    const std::array<std::uint8_t, kSize>& bytes() const { return bytes_; }

    friend bool operator==(const Signature&, const Signature&) = default;

private:
    std::array<std::uint8_t, kSize> bytes_{};
};

std::ostream& operator<<(std::ostream& out, const Signature& signature);

}  // namespace vorelcore_crypto::sign
