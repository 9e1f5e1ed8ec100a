#include "vorelcore_crypto/canonical.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numeric>
#include <type_traits>
#include <utility>
#include <variant>

#include "vorelcore_error/text.hpp"

namespace vorelcore_crypto::canonical {

using vorelcore_error::CoreError;
using vorelcore_json::Array;
using vorelcore_json::Member;
using vorelcore_json::Object;
using vorelcore_json::Value;

namespace {

// ------------------------------------------------------------ composition

// One composable pair: an ASCII base letter, a combining mark, and the
// precomposed character that replaces the two. Only these pairs compose;
// this is deliberately not full Unicode normalisation.
struct Composition {
    char base;
    char32_t mark;
    char32_t composed;
};

constexpr char32_t kGrave = 0x0300;
constexpr char32_t kAcute = 0x0301;
constexpr char32_t kCircumflex = 0x0302;
constexpr char32_t kTilde = 0x0303;
constexpr char32_t kDiaeresis = 0x0308;
constexpr char32_t kRing = 0x030A;
constexpr char32_t kCaron = 0x030C;

constexpr std::array kCompositions = {
    Composition{'A', kGrave, 0x00C0},      Composition{'A', kAcute, 0x00C1},
    Composition{'A', kCircumflex, 0x00C2}, Composition{'A', kTilde, 0x00C3},
    Composition{'A', kDiaeresis, 0x00C4},  Composition{'A', kRing, 0x00C5},
    Composition{'a', kGrave, 0x00E0},      Composition{'a', kAcute, 0x00E1},
    Composition{'a', kCircumflex, 0x00E2}, Composition{'a', kTilde, 0x00E3},
    Composition{'a', kDiaeresis, 0x00E4},  Composition{'a', kRing, 0x00E5},
    Composition{'E', kGrave, 0x00C8},      Composition{'E', kAcute, 0x00C9},
    Composition{'E', kCircumflex, 0x00CA}, Composition{'E', kDiaeresis, 0x00CB},
    Composition{'e', kGrave, 0x00E8},      Composition{'e', kAcute, 0x00E9},
    Composition{'e', kCircumflex, 0x00EA}, Composition{'e', kDiaeresis, 0x00EB},
    Composition{'I', kGrave, 0x00CC},      Composition{'I', kAcute, 0x00CD},
    Composition{'I', kCircumflex, 0x00CE}, Composition{'I', kDiaeresis, 0x00CF},
    Composition{'i', kGrave, 0x00EC},      Composition{'i', kAcute, 0x00ED},
    Composition{'i', kCircumflex, 0x00EE}, Composition{'i', kDiaeresis, 0x00EF},
    Composition{'O', kGrave, 0x00D2},      Composition{'O', kAcute, 0x00D3},
    Composition{'O', kCircumflex, 0x00D4}, Composition{'O', kTilde, 0x00D5},
    Composition{'O', kDiaeresis, 0x00D6},  Composition{'o', kGrave, 0x00F2},
    Composition{'o', kAcute, 0x00F3},      Composition{'o', kCircumflex, 0x00F4},
    Composition{'o', kTilde, 0x00F5},      Composition{'o', kDiaeresis, 0x00F6},
    Composition{'U', kGrave, 0x00D9},      Composition{'U', kAcute, 0x00DA},
    Composition{'U', kCircumflex, 0x00DB}, Composition{'U', kDiaeresis, 0x00DC},
    Composition{'u', kGrave, 0x00F9},      Composition{'u', kAcute, 0x00FA},
    Composition{'u', kCircumflex, 0x00FB}, Composition{'u', kDiaeresis, 0x00FC},
    Composition{'C', kCaron, 0x010C},      Composition{'c', kCaron, 0x010D},
    Composition{'S', kCaron, 0x0160},      Composition{'s', kCaron, 0x0161},
    Composition{'Z', kCaron, 0x017D},      Composition{'z', kCaron, 0x017E},
    Composition{'N', kTilde, 0x00D1},      Composition{'n', kTilde, 0x00F1},
    Composition{'Y', kAcute, 0x00DD},      Composition{'y', kAcute, 0x00FD},
    Composition{'y', kDiaeresis, 0x00FF},
};

// Every mark and every result lies in U+0080..U+07FF: two UTF-8 bytes each.
constexpr bool two_byte_utf8(char32_t c) { return c >= 0x80 && c <= 0x7FF; }
static_assert(std::ranges::all_of(kCompositions, [](const Composition& c) {
    return two_byte_utf8(c.mark) && two_byte_utf8(c.composed);
}));

constexpr unsigned char utf8_lead(char32_t c) { return static_cast<unsigned char>(0xC0 | (c >> 6)); }
constexpr unsigned char utf8_trail(char32_t c) { return static_cast<unsigned char>(0x80 | (c & 0x3F)); }

// The precomposed character for `base` followed by the two bytes of a
// combining mark, or nothing.
const Composition* find_composition(unsigned char base, unsigned char lead, unsigned char trail) {
    for (const Composition& c : kCompositions) {
        if (static_cast<unsigned char>(c.base) == base && utf8_lead(c.mark) == lead && utf8_trail(c.mark) == trail) {
            return &c;
        }
    }
    return nullptr;
}

bool is_ascii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ------------------------------------------------------------------- paths

std::string joined(const Path& path) {
    if (path.empty()) return "<root>";
    std::string out;
    for (const std::string& part : path) {
        if (!out.empty()) out.push_back('.');
        out += part;
    }
    return out;
}

// Pushes one level onto the path and pops it again however the scope ends,
// so the caller's path is left as it was even after an error.
class PathLevel {
public:
    PathLevel(Path& path, std::string part) : path_(path) { path_.push_back(std::move(part)); }
    ~PathLevel() { path_.pop_back(); }
    PathLevel(const PathLevel&) = delete;
    PathLevel& operator=(const PathLevel&) = delete;

private:
    Path& path_;
};

// ----------------------------------------------------------------- writing

void append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void write_string(std::string_view text, Bytes& out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (byte) {
        case '\b': append(out, "\\b"); break;
        case '\t': append(out, "\\t"); break;
        case '\n': append(out, "\\n"); break;
        case '\f': append(out, "\\f"); break;
        case '\r': append(out, "\\r"); break;
        case '"': append(out, "\\\""); break;
        case '\\': append(out, "\\\\"); break;
        default:
            if (byte < 0x20) {
                append(out, "\\u00");
                out.push_back(static_cast<std::uint8_t>(kHex[byte >> 4]));
                out.push_back(static_cast<std::uint8_t>(kHex[byte & 0x0F]));
            } else {
                // Everything else, '/', U+007F and every byte of a non-ASCII
                // character included, is written as it is.
                out.push_back(byte);
            }
        }
    }
    out.push_back('"');
}

template <class Number>
void write_number(Number number, Bytes& out) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number);
    append(out, std::string_view(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())));
}

void write_object(const Object& object, Bytes& out) {
    // A canonical object is already in key order; anything else is written in
    // key order too, without reordering the caller's value.
    const auto by_key = [&](std::size_t a, std::size_t b) { return object[a].key < object[b].key; };
    std::vector<std::size_t> order(object.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!std::ranges::is_sorted(order, by_key)) std::ranges::stable_sort(order, by_key);

    out.push_back('{');
    bool first = true;
    for (const std::size_t index : order) {
        if (!first) out.push_back(',');
        first = false;
        write_string(object[index].key, out);
        out.push_back(':');
        write_value(object[index].value, out);
    }
    out.push_back('}');
}

}  // namespace

std::string normalize(std::string_view text) {
    if (is_ascii(text)) return std::string(text);

    // Bases are ASCII letters and marks are two-byte sequences, so the walk
    // can go byte by byte: an ASCII byte is always a whole character, and any
    // other byte is passed through untouched. A pair that composes is
    // consumed whole, so its result never meets a following mark.
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto base = static_cast<unsigned char>(text[i]);
        if (base < 0x80 && text.size() - i >= 3) {
            const auto lead = static_cast<unsigned char>(text[i + 1]);
            const auto trail = static_cast<unsigned char>(text[i + 2]);
            if (const Composition* c = find_composition(base, lead, trail)) {
                out.push_back(static_cast<char>(utf8_lead(c->composed)));
                out.push_back(static_cast<char>(utf8_trail(c->composed)));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

std::expected<Value, CoreError> canonicalize(const Value& value, Path& path) {
    return std::visit(
        [&](const auto& data) -> std::expected<Value, CoreError> {
            using T = std::decay_t<decltype(data)>;
            if constexpr (std::is_same_v<T, double>) {
                return std::unexpected(CoreError::canonical_serialization(
                    "floating-point number at " + joined(path) +
                    " cannot be canonicalised; use an integer or a decimal string in signed contracts"));
            } else if constexpr (std::is_same_v<T, std::string>) {
                return Value(normalize(data));
            } else if constexpr (std::is_same_v<T, Array>) {
                Array out;
                out.reserve(data.size());
                for (std::size_t index = 0; index < data.size(); ++index) {
                    PathLevel level(path, std::to_string(index));
                    auto element = canonicalize(data[index], path);
                    if (!element) return std::unexpected(std::move(element.error()));
                    out.push_back(std::move(*element));
                }
                return Value(std::move(out));
            } else if constexpr (std::is_same_v<T, Object>) {
                Object out;
                out.reserve(data.size());
                for (const Member& member : data) {
                    std::string key = normalize(member.key);
                    PathLevel level(path, key);
                    auto canonical = canonicalize(member.value, path);
                    if (!canonical) return std::unexpected(std::move(canonical.error()));
                    vorelcore_json::push_member(out, std::move(key), std::move(*canonical));
                }
                // std::string compares as unsigned bytes: UTF-8 byte order,
                // which is also code point order.
                std::ranges::stable_sort(out, {}, &Member::key);
                const auto twin = std::ranges::adjacent_find(out, {}, &Member::key);
                if (twin != out.end()) {
                    return std::unexpected(CoreError::canonical_serialization(
                        "duplicate object key " + vorelcore_error::debug_quoted(twin->key) +
                        " after Unicode normalisation"));
                }
                return Value(std::move(out));
            } else {
                // null, booleans and integers stay as they are.
                return Value(data);
            }
        },
        value.data());
}

void write_value(const Value& canonical, Bytes& out) {
    std::visit(
        [&](const auto& data) {
            using T = std::decay_t<decltype(data)>;
            if constexpr (std::is_same_v<T, vorelcore_json::Null>) {
                append(out, "null");
            } else if constexpr (std::is_same_v<T, bool>) {
                append(out, data ? "true" : "false");
            } else if constexpr (std::is_same_v<T, std::uint64_t> || std::is_same_v<T, std::int64_t>) {
                write_number(data, out);
            } else if constexpr (std::is_same_v<T, double>) {
                // canonicalize refuses these; should one be passed in anyway,
                // it is written in its shortest round-trip form (JSON has no
                // form for NaN or infinity, so those become null).
                if (std::isfinite(data)) {
                    write_number(data, out);
                } else {
                    append(out, "null");
                }
            } else if constexpr (std::is_same_v<T, std::string>) {
                write_string(data, out);
            } else if constexpr (std::is_same_v<T, Array>) {
                out.push_back('[');
                for (std::size_t i = 0; i < data.size(); ++i) {
                    if (i != 0) out.push_back(',');
                    write_value(data[i], out);
                }
                out.push_back(']');
            } else {
                static_assert(std::is_same_v<T, Object>);
                write_object(data, out);
            }
        },
        canonical.data());
}

std::expected<Bytes, CoreError> canonical_value_bytes(const Value& value) {
    Path path;
    auto canonical = canonicalize(value, path);
    if (!canonical) return std::unexpected(std::move(canonical.error()));
    Bytes out;
    write_value(*canonical, out);
    return out;
}

}  // namespace vorelcore_crypto::canonical
