#pragma once
// One table per enumeration gives its JSON spelling and its display name, in
// declaration order. The JSON reader and writer, and every message that shows
// a display name, are derived from it.
#include <array>
#include <optional>
#include <string_view>

namespace vorelcore_json {

template <class E>
struct EnumEntry {
    E value;
    std::string_view json;     // snake_case spelling in documents
    std::string_view display;  // CamelCase name in messages
};

// Specialise with: static constexpr std::string_view type_name;
//                  static constexpr std::array<EnumEntry<E>, N> entries;
template <class E>
struct EnumTable;

template <class E>
concept TabledEnum = requires { EnumTable<E>::entries; EnumTable<E>::type_name; };

template <TabledEnum E>
constexpr std::string_view json_name(E value) {
    for (const auto& entry : EnumTable<E>::entries) {
        if (entry.value == value) return entry.json;
    }
    return {};
}

template <TabledEnum E>
constexpr std::string_view display_name(E value) {
    for (const auto& entry : EnumTable<E>::entries) {
        if (entry.value == value) return entry.display;
    }
    return {};
}

template <TabledEnum E>
constexpr std::optional<E> from_json_name(std::string_view text) {
    for (const auto& entry : EnumTable<E>::entries) {
        if (entry.json == text) return entry.value;
    }
    return std::nullopt;
}

}  // namespace vorelcore_json
