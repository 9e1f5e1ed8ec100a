#pragma once
// Value tree to text: the pretty form of every document the program writes
// or prints.
#include <string>

#include "vorelcore_json/value.hpp"

namespace vorelcore_json {

// Objects and arrays one member per line, two spaces per level, `"key": value`,
// `{}` and `[]` when empty, no newline after the last bracket. Strings escape
// only `"`, `\` and control characters; `/` and non-ASCII stay as they are.
std::string write_pretty(const Value& value);

// A JSON string literal with the escapes above.
void append_quoted(std::string& out, const std::string& text);

// The text of a floating-point number: shortest round-trip digits, always
// with a fraction or an exponent so that it reads back as a float.
std::string format_double(double value);

}  // namespace vorelcore_json
