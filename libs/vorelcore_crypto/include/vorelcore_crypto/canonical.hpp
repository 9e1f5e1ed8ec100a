#pragma once
// Canonical JSON: the one byte form that is signed, hashed or authenticated
// anywhere. Objects sorted by key bytes, no whitespace, strings under a
// limited composition, floating-point numbers refused.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/value.hpp"

namespace vorelcore_crypto {

using Bytes = std::vector<std::uint8_t>;

}  // namespace vorelcore_crypto

namespace vorelcore_crypto::canonical {

// The path from the root while walking a value: object keys (normalised)
// and array indices in decimal; joined with "." in messages, "<root>" when
// empty.
using Path = std::vector<std::string>;

// The limited composition applied to every string and key.
std::string normalize(std::string_view text);

// A new, canonical value, or CoreError::CanonicalSerialization naming the
// path of a floating-point number or the duplicate key. `path` is where
// `value` sits (empty at the top); it is left as it was, error or not.
std::expected<vorelcore_json::Value, vorelcore_error::CoreError> canonicalize(const vorelcore_json::Value& value,
                                                                              Path& path);

// Appends the bytes of an already canonical value. Never fails. Object
// members are written in key order even if the value holds them otherwise.
void write_value(const vorelcore_json::Value& canonical, Bytes& out);

// canonicalize + write_value of a whole value.
std::expected<Bytes, vorelcore_error::CoreError> canonical_value_bytes(const vorelcore_json::Value& value);

// The canonical bytes of a typed value, from the same JSON value its
// document writer produces.
template <vorelcore_json::HasCodec T>
std::expected<Bytes, vorelcore_error::CoreError> canonical_bytes(const T& value) {
    return canonical_value_bytes(vorelcore_json::to_value(value));
}

}  // namespace vorelcore_crypto::canonical
