#include "vorelcore_error/text.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vorelcore_error {
namespace {

struct Step {
    std::size_t length = 0;           // bytes of a valid sequence, 0 when invalid
    std::optional<std::size_t> bad;   // invalid: length of the bad prefix; empty: text ended early
};

// Classifies the sequence starting at text[i] (which is >= 0x80).
Step utf8_step(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t need = 0;
    std::uint8_t lo = 0x80;
    std::uint8_t hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return {0, 1};
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= text.size()) return {0, std::nullopt};
        const std::uint8_t b = byte(i + k);
        const std::uint8_t min = k == 1 ? lo : 0x80;
        const std::uint8_t max = k == 1 ? hi : 0xBF;
        if (b < min || b > max) return {0, k};
    }
    return {need + 1, std::nullopt};
}

}  // namespace

std::string Utf8Error::message() const {
    if (error_len) {
        return "invalid utf-8 sequence of " + std::to_string(*error_len) + " bytes from index " +
               std::to_string(valid_up_to);
    }
    return "incomplete utf-8 byte sequence from index " + std::to_string(valid_up_to);
}

std::optional<Utf8Error> check_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<std::uint8_t>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const Step step = utf8_step(text, i);
        if (step.length == 0) return Utf8Error{i, step.bad};
        i += step.length;
    }
    return std::nullopt;
}

bool is_unicode_whitespace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

namespace {

// Decodes the well-formed sequence of `length` bytes at text[i].
char32_t decode_at(std::string_view text, std::size_t i, std::size_t length) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[i + k]); };
    if (length == 1) return byte(0);
    char32_t c = byte(0) & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (byte(k) & 0x3F);
    return c;
}

std::size_t sequence_length(std::string_view text, std::size_t i) {
    if (static_cast<std::uint8_t>(text[i]) < 0x80) return 1;
    return utf8_step(text, i).length;
}

}  // namespace

std::string_view trim_unicode_whitespace(std::string_view text) {
    // Leading: walk forward over white-space characters.
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t length = sequence_length(text, begin);
        if (length == 0 || !is_unicode_whitespace(decode_at(text, begin, length))) break;
        begin += length;
    }
    // Trailing: find the start of each last character by skipping
    // continuation bytes backwards.
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) --start;
        const std::size_t length = sequence_length(text, start);
        if (length != end - start || !is_unicode_whitespace(decode_at(text, start, length))) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

std::string os_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

std::optional<std::uint8_t> hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return std::nullopt;
}

std::optional<std::uint8_t> hex_pair(char high, char low) {
    const auto h = hex_digit(high);
    const auto l = hex_digit(low);
    if (!h || !l) return std::nullopt;
    return static_cast<std::uint8_t>(*h << 4 | *l);
}

std::string debug_quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    char buf[16];
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    std::snprintf(buf, sizeof buf, "\\u{%x}", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
            }
            ++i;
            continue;
        }
        const Step step = utf8_step(text, i);
        if (step.length == 0) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
            ++i;
        } else if (step.length == 2 && c == 0xC2 && static_cast<std::uint8_t>(text[i + 1]) < 0xA0) {
            // C1 control characters (U+0080..U+009F) are escaped like C0 ones.
            std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<std::uint8_t>(text[i + 1]));
            out += buf;
            i += 2;
        } else {
            out.append(text.substr(i, step.length));
            i += step.length;
        }
    }
    out.push_back('"');
    return out;
}

}  // namespace vorelcore_error
