#include "vorelcore_contracts/ids.hpp"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "vorelcore_error/text.hpp"

namespace vorelcore_contracts::ids {
namespace {

using vorelcore_error::CoreError;

constexpr char kHexDigits[] = "0123456789abcdef";

// libsodium must be initialised once before it draws random bytes. Without
// a random source no identifier can be made safely, so that is fatal.
void ensure_random_source() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            std::fputs("fatal: libsodium could not be initialised; no random source is available\n", stderr);
            std::abort();
        }
    });
}


// The text split into characters: each well-formed UTF-8 sequence is one
// unit, each byte of a malformed one is a unit of its own. Positions in
// fault descriptions count these units, so they are character positions.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> units;
    units.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::size_t length = 1;
        if (lead >= 0x80) {
            const std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (want <= text.size() - i && !vorelcore_error::check_utf8(text.substr(i, want))) length = want;
        }
        units.push_back(text.substr(i, length));
        i += length;
    }
    return units;
}

// A character as a fault description shows it: printable ASCII and
// well-formed non-ASCII as is, anything else escaped.
std::string shown(std::string_view unit) {
    const auto c = static_cast<std::uint8_t>(unit.front());
    if (unit.size() == 1 && c >= 0x20 && c < 0x7F) return std::string(unit);
    const std::string quoted = vorelcore_error::debug_quoted(unit);
    return quoted.substr(1, quoted.size() - 2);
}

// Layouts of the accepted forms: `x` is a hex digit, anything else must
// appear literally.
constexpr std::string_view kSimple = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
constexpr std::string_view kHyphenated = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
constexpr std::string_view kBraced = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
constexpr std::string_view kUrn = "urn:uuid:xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
constexpr std::size_t kUrnPrefixLength = 9;

}  // namespace

Uuid Uuid::random_v4() {
    ensure_random_source();
    std::array<std::uint8_t, 16> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return from_bytes(bytes);
}

Uuid Uuid::from_bytes(const std::array<std::uint8_t, 16>& bytes) {
    Uuid uuid;
    uuid.bytes_ = bytes;
    return uuid;
}

std::expected<Uuid, std::string> Uuid::parse(std::string_view text) {
    const std::vector<std::string_view> units = characters(text);
    std::string_view layout;
    switch (units.size()) {
    case kSimple.size(): layout = kSimple; break;
    case kHyphenated.size(): layout = kHyphenated; break;
    case kBraced.size(): layout = kBraced; break;
    case kUrn.size(): layout = kUrn; break;
    default:
        return std::unexpected("invalid length: expected 32, 36, 38 or 45 characters, found " +
                               std::to_string(units.size()));
    }

    Uuid uuid;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::string_view unit = units[i];
        const char want = layout[i];
        if (want == 'x') {
            const auto value = unit.size() == 1 ? vorelcore_error::hex_digit(unit.front()) : std::nullopt;
            if (!value) {
                return std::unexpected("invalid character: expected [0-9a-fA-F], found `" + shown(unit) + "` at " +
                                       std::to_string(i));
            }
            auto& byte = uuid.bytes_[digits / 2];
            byte = static_cast<std::uint8_t>(digits % 2 == 0 ? *value << 4 : byte | *value);
            ++digits;
        } else if (unit.size() != 1 || unit.front() != want) {
            const std::string expected = layout == kUrn && i < kUrnPrefixLength
                                             ? std::string("`urn:uuid:` prefix")
                                             : "`" + std::string(1, want) + "`";
            return std::unexpected("invalid character: expected " + expected + ", found `" + shown(unit) + "` at " +
                                   std::to_string(i));
        }
    }
    return uuid;
}

std::string Uuid::to_string() const {
    std::string out;
    out.reserve(kHyphenated.size());
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(kHexDigits[bytes_[i] >> 4]);
        out.push_back(kHexDigits[bytes_[i] & 0x0F]);
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const Uuid& uuid) { return out << uuid.to_string(); }

std::expected<void, CoreError> Slug::validate(std::string_view text) {
    const auto fail = [](std::string reason) {
        return std::unexpected(CoreError::invalid_identifier(kind, std::move(reason)));
    };
    if (text.empty()) return fail("must not be empty");
    if (text.size() > kMaxBytes) {
        return fail("must be at most " + std::to_string(kMaxBytes) + " bytes, got " + std::to_string(text.size()));
    }
    for (const char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
            return fail("may contain only lowercase ASCII letters, digits and hyphens");
        }
    }
    if (text.front() == '-' || text.back() == '-') return fail("must not start or end with a hyphen");
    if (text.find("--") != std::string_view::npos) return fail("must not contain consecutive hyphens");
    return {};
}

std::expected<Slug, CoreError> Slug::try_from(std::string text) {
    if (auto valid = validate(text); !valid) return std::unexpected(std::move(valid.error()));
    return Slug(std::move(text));
}

std::expected<Slug, CoreError> Slug::parse(std::string_view text) { return try_from(std::string(text)); }

}  // namespace vorelcore_contracts::ids
