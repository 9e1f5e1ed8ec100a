#include "vorelcore_json/write.hpp"

#include <charconv>
#include <cmath>

namespace vorelcore_json {
namespace {

void indent(std::string& out, std::size_t level) { out.append(level * 2, ' '); }

struct PrettyWriter {
    std::string& out;

    void write(const Value& value, std::size_t level) {
        std::visit([&](const auto& v) { write_one(v, level); }, value.data());
    }

    void write_one(const Null&, std::size_t) { out += "null"; }
    void write_one(bool b, std::size_t) { out += b ? "true" : "false"; }
    void write_one(std::uint64_t u, std::size_t) { out += std::to_string(u); }
    void write_one(std::int64_t i, std::size_t) { out += std::to_string(i); }
    void write_one(double d, std::size_t) { out += format_double(d); }
    void write_one(const std::string& s, std::size_t) { append_quoted(out, s); }

    void write_one(const Array& array, std::size_t level) {
        if (array.empty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        for (std::size_t i = 0; i < array.size(); ++i) {
            indent(out, level + 1);
            write(array[i], level + 1);
            out += i + 1 < array.size() ? ",\n" : "\n";
        }
        indent(out, level);
        out += ']';
    }

    void write_one(const Object& object, std::size_t level) {
        if (object.empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        for (std::size_t i = 0; i < object.size(); ++i) {
            indent(out, level + 1);
            append_quoted(out, object[i].key);
            out += ": ";
            write(object[i].value, level + 1);
            out += i + 1 < object.size() ? ",\n" : "\n";
        }
        indent(out, level);
        out += '}';
    }
};

}  // namespace

void append_quoted(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0xF]);
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
}

std::string format_double(double value) {
    // JSON has no spelling for these; documents never hold them, but a
    // value built in memory could.
    if (!std::isfinite(value)) return "null";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    std::string text(buf, ec == std::errc() ? end : buf);
    if (const auto plus = text.find("e+"); plus != std::string::npos) text.erase(plus + 1, 1);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string write_pretty(const Value& value) {
    std::string out;
    PrettyWriter{out}.write(value, 0);
    return out;
}

}  // namespace vorelcore_json
