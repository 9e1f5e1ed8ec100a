#include "vorelcore_json/parse.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "vorelcore_error/text.hpp"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wclass-memaccess"  // a GCC-only warning; clang has no such group
#endif
#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>
#pragma GCC diagnostic pop

namespace vorelcore_json {

bool operator==(const Value& a, const Value& b) { return a.data_ == b.data_; }

Value::Value(std::int64_t i) {
    if (i >= 0) {
        data_ = static_cast<std::uint64_t>(i);
    } else {
        data_ = i;
    }
}

Position position_at(std::string_view text, std::size_t consumed) {
    if (consumed > text.size()) consumed = text.size();
    Position pos;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < consumed; ++i) {
        if (text[i] == '\n') {
            ++pos.line;
            line_start = i + 1;
        }
    }
    pos.column = consumed - line_start;
    return pos;
}

std::string located_message(std::string_view text, const ReadError& error) {
    const Position pos = position_at(text, error.consumed);
    return error.message + " at line " + std::to_string(pos.line) + " column " + std::to_string(pos.column);
}

namespace {

// A numeric literal as written: integers that fit 64 bits stay exact,
// everything else becomes a double.
std::optional<Value> number_value(std::string_view literal) {
    const bool is_float = literal.find_first_of(".eE") != std::string_view::npos;
    const char* first = literal.data();
    const char* last = literal.data() + literal.size();
    if (!is_float) {
        if (literal.starts_with('-')) {
            std::int64_t i = 0;
            auto [ptr, ec] = std::from_chars(first, last, i);
            if (ec == std::errc() && ptr == last) return Value(i);
        } else {
            std::uint64_t u = 0;
            auto [ptr, ec] = std::from_chars(first, last, u);
            if (ec == std::errc() && ptr == last) return Value(u);
        }
    }
    double d = 0;
    auto [ptr, ec] = std::from_chars(first, last, d);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return Value(d);
}

class TreeBuilder {
public:
    using Ch = char;

    explicit TreeBuilder(const rapidjson::MemoryStream* stream) : stream_(stream) {}

    bool Null() { return add(Value(vorelcore_json::Null{})); }
    bool Bool(bool b) { return add(Value(b)); }
    // Numbers always arrive as their literal (numbers-as-strings mode).
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool RawNumber(const char* str, rapidjson::SizeType length, bool) {
        auto value = number_value(std::string_view(str, length));
        if (!value) return fail("number out of range");
        return add(std::move(*value));
    }
    bool String(const char* str, rapidjson::SizeType length, bool) {
        std::string text(str, length);
        if (vorelcore_error::check_utf8(text)) return fail("invalid unicode code point");
        return add(Value(std::move(text)));
    }
    // The iterative reader calls these before taking the bracket itself, so
    // the bracket counts as consumed here.
    bool StartObject() { return open(Value(Object{})); }
    bool Key(const char* str, rapidjson::SizeType length, bool) {
        std::string key(str, length);
        if (vorelcore_error::check_utf8(key)) return fail("invalid unicode code point");
        pending_key_ = std::move(key);
        pending_key_end_ = consumed();
        return true;
    }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool StartArray() { return open(Value(Array{})); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    std::optional<ReadError>& own_error() { return own_error_; }
    Value take_root() { return std::move(root_); }
    bool inside_container() const { return !stack_.empty(); }
    bool inside_object() const { return !stack_.empty() && stack_.back().as_object() != nullptr; }

private:
    std::size_t consumed() const { return stream_->Tell(); }

    bool fail(std::string message, std::size_t extra = 0) {
        own_error_ = ReadError{std::move(message), consumed() + extra};
        return false;
    }

    bool add(Value value, std::size_t extra = 0) {
        value.set_end(consumed() + extra);
        if (stack_.empty()) {
            root_ = std::move(value);
        } else if (Object* object = stack_.back().as_object()) {
            object->push_back(Member{std::move(pending_key_), std::move(value), pending_key_end_});
        } else {
            stack_.back().as_array()->push_back(std::move(value));
        }
        return true;
    }

    bool open(Value container) {
        if (stack_.size() >= kMaxDepth) return fail("recursion limit exceeded", 1);
        // The key this container will be stored under (unused inside arrays).
        keys_.emplace_back(std::move(pending_key_), pending_key_end_);
        stack_.push_back(std::move(container));
        return true;
    }

    bool close() {
        Value done = std::move(stack_.back());
        stack_.pop_back();
        auto [key, key_end] = std::move(keys_.back());
        keys_.pop_back();
        pending_key_ = std::move(key);
        pending_key_end_ = key_end;
        return add(std::move(done), 1);
    }

    const rapidjson::MemoryStream* stream_;
    std::vector<Value> stack_;
    std::vector<std::pair<std::string, std::size_t>> keys_;
    std::string pending_key_;
    std::size_t pending_key_end_ = 0;
    Value root_;
    std::optional<ReadError> own_error_;
};

bool is_json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string syntax_message(rapidjson::ParseErrorCode code, bool at_end, bool in_object, bool in_container) {
    using namespace rapidjson;
    if (at_end) {
        switch (code) {
        case kParseErrorStringMissQuotationMark:
        case kParseErrorStringEscapeInvalid:
        case kParseErrorStringUnicodeEscapeInvalidHex:
            return "EOF while parsing a string";
        case kParseErrorNumberMissFraction:
        case kParseErrorNumberMissExponent:
            return "EOF while parsing a value";
        default:
            if (in_object) return "EOF while parsing an object";
            if (in_container) return "EOF while parsing a list";
            return "EOF while parsing a value";
        }
    }
    switch (code) {
    case kParseErrorDocumentEmpty: return "EOF while parsing a value";
    case kParseErrorDocumentRootNotSingular: return "trailing characters";
    case kParseErrorValueInvalid: return "expected value";
    case kParseErrorObjectMissName: return "key must be a string";
    case kParseErrorObjectMissColon: return "expected `:`";
    case kParseErrorObjectMissCommaOrCurlyBracket: return "expected `,` or `}`";
    case kParseErrorArrayMissCommaOrSquareBracket: return "expected `,` or `]`";
    case kParseErrorStringUnicodeEscapeInvalidHex: return "invalid escape";
    case kParseErrorStringUnicodeSurrogateInvalid: return "lone leading surrogate in hex escape";
    case kParseErrorStringEscapeInvalid: return "invalid escape";
    case kParseErrorStringMissQuotationMark:
        return "control character (\\u0000-\\u001F) found while parsing a string";
    case kParseErrorStringInvalidEncoding: return "invalid unicode code point";
    case kParseErrorNumberTooBig: return "number out of range";
    case kParseErrorNumberMissFraction:
    case kParseErrorNumberMissExponent: return "invalid number";
    default: return "expected value";
    }
}

}  // namespace

std::expected<Value, ReadError> parse(std::string_view text) {
    rapidjson::MemoryStream stream(text.data(), text.size());
    TreeBuilder builder(&stream);
    rapidjson::Reader reader;
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag |
                                rapidjson::kParseStopWhenDoneFlag;
    const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
    if (result.IsError()) {
        if (auto& own = builder.own_error()) return std::unexpected(std::move(*own));
        const std::size_t offset = result.Offset();
        const bool at_end = offset >= text.size();
        const std::size_t consumed = at_end ? text.size() : offset + 1;
        return std::unexpected(ReadError{
            syntax_message(result.Code(), at_end, builder.inside_object(), builder.inside_container()), consumed});
    }
    // The reader stops after the value; anything but white space after it
    // (including a NUL byte, which the reader would take for the end) is an
    // error here.
    std::size_t i = stream.Tell();
    while (i < text.size() && is_json_space(text[i])) ++i;
    if (i < text.size()) return std::unexpected(ReadError{"trailing characters", i + 1});
    return builder.take_root();
}

}  // namespace vorelcore_json
