#include "vorelcore_json/codec.hpp"

#include "vorelcore_error/text.hpp"

namespace vorelcore_json {

std::string describe_found(const Value& value) {
    struct Describe {
        std::string operator()(const Null&) const { return "null"; }
        std::string operator()(bool b) const { return b ? "boolean `true`" : "boolean `false`"; }
        std::string operator()(std::uint64_t u) const { return "integer `" + std::to_string(u) + "`"; }
        std::string operator()(std::int64_t i) const { return "integer `" + std::to_string(i) + "`"; }
        std::string operator()(double d) const { return "floating point `" + format_double(d) + "`"; }
        std::string operator()(const std::string& s) const { return "string " + vorelcore_error::debug_quoted(s); }
        std::string operator()(const Array&) const { return "sequence"; }
        std::string operator()(const Object&) const { return "map"; }
    };
    return std::visit(Describe{}, value.data());
}

ReadError invalid_type(const Value& found, std::string_view wanted) {
    return {"invalid type: " + describe_found(found) + ", expected " + std::string(wanted), found.end()};
}

ReadError invalid_value(const Value& found, std::string_view wanted) {
    return {"invalid value: " + describe_found(found) + ", expected " + std::string(wanted), found.end()};
}

ReadError missing_field(std::string_view key, std::size_t consumed) {
    return {"missing field `" + std::string(key) + "`", consumed};
}

ReadError duplicate_field(std::string_view key, std::size_t consumed) {
    return {"duplicate field `" + std::string(key) + "`", consumed};
}

ReadError unknown_variant(std::string_view found, std::span<const std::string_view> expected,
                          std::size_t consumed) {
    std::string message = "unknown variant `" + std::string(found) + "`, expected ";
    const auto quoted = [](std::string_view s) { return "`" + std::string(s) + "`"; };
    if (expected.size() == 1) {
        message += quoted(expected[0]);
    } else if (expected.size() == 2) {
        message += quoted(expected[0]) + " or " + quoted(expected[1]);
    } else {
        message += "one of ";
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (i > 0) message += ", ";
            message += quoted(expected[i]);
        }
    }
    return {std::move(message), consumed};
}

ReadResult<bool> Codec<bool>::read(const Value& value) {
    if (const auto* b = std::get_if<bool>(&value.data())) return *b;
    return std::unexpected(invalid_type(value, "a boolean"));
}

ReadResult<std::string> Codec<std::string>::read(const Value& value) {
    if (const std::string* s = value.as_string()) return *s;
    return std::unexpected(invalid_type(value, "a string"));
}

ReadResult<double> Codec<double>::read(const Value& value) {
    const auto& data = value.data();
    if (const auto* d = std::get_if<double>(&data)) return *d;
    if (const auto* u = std::get_if<std::uint64_t>(&data)) return static_cast<double>(*u);
    if (const auto* i = std::get_if<std::int64_t>(&data)) return static_cast<double>(*i);
    return std::unexpected(invalid_type(value, "f64"));
}

}  // namespace vorelcore_json
