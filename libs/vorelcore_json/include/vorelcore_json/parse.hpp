#pragma once
// Text to value tree. Refuses anything that is not exactly one JSON value,
// never recurses deeper than a fixed limit, and records where every value
// and key ended so that typed readers can say where a fault is.
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "vorelcore_json/value.hpp"

namespace vorelcore_json {

// Nesting deeper than this fails with "recursion limit exceeded".
inline constexpr std::size_t kMaxDepth = 128;

// Line and column of the last byte consumed after `consumed` bytes of `text`:
// lines count from 1, the column is the 1-based byte column (0 when nothing
// of that line was consumed).
struct Position {
    std::size_t line = 1;
    std::size_t column = 0;
};
Position position_at(std::string_view text, std::size_t consumed);

// A fault in a document, with the number of bytes consumed when it was found.
struct ReadError {
    std::string message;
    std::size_t consumed = 0;
};

// "{message} at line {L} column {C}".
std::string located_message(std::string_view text, const ReadError& error);

// The text must be valid UTF-8 (callers check it first, since the file
// reader reports that fault in its own words).
std::expected<Value, ReadError> parse(std::string_view text);

}  // namespace vorelcore_json
