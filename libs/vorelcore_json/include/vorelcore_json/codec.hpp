#pragma once
// Typed reading and writing of documents. Each type says once how it maps
// to JSON (a `Codec`), and both directions are derived from that, so member
// order, omission rules and error texts cannot drift apart.
//
// Reader errors follow one convention everywhere: "missing field `x`",
// "duplicate field `x`", "unknown variant `x`, expected ...",
// "invalid type: {found}, expected {wanted}", "invalid value: ...", or the
// display text of a value's own parser; each carries the position where the
// fault was found.
#include <array>
#include <concepts>
#include <cstdint>
#include <expected>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "vorelcore_json/enum_table.hpp"
#include "vorelcore_json/parse.hpp"
#include "vorelcore_json/value.hpp"
#include "vorelcore_json/write.hpp"

namespace vorelcore_json {

template <class T>
using ReadResult = std::expected<T, ReadError>;

// ---------------------------------------------------------------- messages

// How a found value is named in messages: integer `5`, floating point `1.5`,
// boolean `true`, string "abc", null, map, sequence.
std::string describe_found(const Value& value);

ReadError invalid_type(const Value& found, std::string_view wanted);
ReadError invalid_value(const Value& found, std::string_view wanted);
ReadError missing_field(std::string_view key, std::size_t consumed);
ReadError duplicate_field(std::string_view key, std::size_t consumed);
// "unknown variant `x`, expected one of `a`, `b`, `c`" (or "`a` or `b`", or "`a`").
ReadError unknown_variant(std::string_view found, std::span<const std::string_view> expected,
                          std::size_t consumed);

// ------------------------------------------------------------------ codecs

// Specialise (or use a concept below) with:
//   static ReadResult<T> read(const Value&);
//   static Value write(const T&);
template <class T>
struct Codec;

template <class T>
concept HasCodec = requires(const Value& v, const T& t) {
    { Codec<T>::read(v) } -> std::same_as<ReadResult<T>>;
    { Codec<T>::write(t) } -> std::same_as<Value>;
};

template <>
struct Codec<bool> {
    static ReadResult<bool> read(const Value& value);
    static Value write(bool b) { return Value(b); }
};

template <>
struct Codec<std::string> {
    static ReadResult<std::string> read(const Value& value);
    static Value write(const std::string& s) { return Value(s); }
};

template <>
struct Codec<double> {
    static ReadResult<double> read(const Value& value);
    static Value write(double d) { return Value(d); }
};

template <class I>
constexpr std::string_view integer_name() {
    constexpr bool s = std::is_signed_v<I>;
    switch (sizeof(I)) {
    case 1: return s ? "i8" : "u8";
    case 2: return s ? "i16" : "u16";
    case 4: return s ? "i32" : "u32";
    default: return s ? "i64" : "u64";
    }
}

template <class I>
    requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
struct Codec<I> {
    static ReadResult<I> read(const Value& value) {
        constexpr std::string_view name = integer_name<I>();
        if (const auto* u = std::get_if<std::uint64_t>(&value.data())) {
            if (*u > static_cast<std::uint64_t>(std::numeric_limits<I>::max())) {
                return std::unexpected(invalid_value(value, name));
            }
            return static_cast<I>(*u);
        }
        if (const auto* i = std::get_if<std::int64_t>(&value.data())) {
            if constexpr (std::is_unsigned_v<I>) {
                return std::unexpected(invalid_value(value, name));
            } else {
                if (*i < static_cast<std::int64_t>(std::numeric_limits<I>::min())) {
                    return std::unexpected(invalid_value(value, name));
                }
                return static_cast<I>(*i);
            }
        }
        return std::unexpected(invalid_type(value, name));
    }
    static Value write(I i) {
        if constexpr (std::is_unsigned_v<I>) {
            return Value(static_cast<std::uint64_t>(i));
        } else {
            return Value(static_cast<std::int64_t>(i));
        }
    }
};

// Enumerations written as their snake_case spelling.
template <TabledEnum E>
struct Codec<E> {
    static ReadResult<E> read(const Value& value) {
        const std::string* text = value.as_string();
        if (text == nullptr) {
            return std::unexpected(invalid_type(value, "enum " + std::string(EnumTable<E>::type_name)));
        }
        if (auto e = from_json_name<E>(*text)) return *e;
        return std::unexpected(unknown_variant(*text, spellings(), value.end()));
    }
    static Value write(E e) { return Value(std::string(json_name(e))); }

    static std::span<const std::string_view> spellings() {
        static const auto names = [] {
            std::array<std::string_view, EnumTable<E>::entries.size()> out{};
            for (std::size_t i = 0; i < out.size(); ++i) out[i] = EnumTable<E>::entries[i].json;
            return out;
        }();
        return names;
    }
};

// Values whose JSON form is their text form: identifiers, slugs, timestamps,
// hashes. The value's own parser decides, and its error's display text
// becomes the reader's message.
template <class T>
concept StringForm = requires(std::string_view s, const T& t) {
    { T::parse(s)->to_string() } -> std::convertible_to<std::string>;
    { T::parse(s).error().message() } -> std::convertible_to<std::string>;
    { t.to_string() } -> std::convertible_to<std::string>;
};

template <class T>
    requires(StringForm<T> && !TabledEnum<T>)
struct Codec<T> {
    static ReadResult<T> read(const Value& value) {
        const std::string* text = value.as_string();
        if (text == nullptr) return std::unexpected(invalid_type(value, "a string"));
        auto parsed = T::parse(*text);
        if (!parsed) return std::unexpected(ReadError{parsed.error().message(), value.end()});
        return std::move(*parsed);
    }
    static Value write(const T& t) { return Value(t.to_string()); }
};

template <HasCodec T>
struct Codec<std::vector<T>> {
    static ReadResult<std::vector<T>> read(const Value& value) {
        const Array* array = value.as_array();
        if (array == nullptr) return std::unexpected(invalid_type(value, "a sequence"));
        std::vector<T> out;
        out.reserve(array->size());
        for (const Value& element : *array) {
            auto item = Codec<T>::read(element);
            if (!item) return std::unexpected(std::move(item.error()));
            out.push_back(std::move(*item));
        }
        return out;
    }
    static Value write(const std::vector<T>& items) {
        Array out;
        out.reserve(items.size());
        for (const T& item : items) out.push_back(Codec<T>::write(item));
        return Value(std::move(out));
    }
};

// Objects with free keys, kept sorted by the bytes of their keys. A key
// given twice is refused rather than silently resolved, so what a reader of
// the file sees is what is evaluated and hashed.
template <HasCodec T>
struct Codec<std::map<std::string, T>> {
    static ReadResult<std::map<std::string, T>> read(const Value& value) {
        const Object* object = value.as_object();
        if (object == nullptr) return std::unexpected(invalid_type(value, "a map"));
        std::map<std::string, T> out;
        for (const Member& member : *object) {
            auto item = Codec<T>::read(member.value);
            if (!item) return std::unexpected(std::move(item.error()));
            if (!out.emplace(member.key, std::move(*item)).second) {
                return std::unexpected(duplicate_field(member.key, member.key_end));
            }
        }
        return out;
    }
    static Value write(const std::map<std::string, T>& items) {
        Object out;
        out.reserve(items.size());
        for (const auto& [key, item] : items) push_member(out, key, Codec<T>::write(item));
        return Value(std::move(out));
    }
};

// ----------------------------------------------------------------- structs

// How a member behaves when absent. `std::optional` members are always
// omitted when empty and read as empty when missing or null.
enum class Presence {
    Required,        // missing fails the read (optional members: see above)
    OmitWhenEmpty,   // a list or map: omitted when empty, empty when missing
    DefaultWhenMissing,  // always written; missing reads as the default value
};

template <class T, class M>
struct FieldSpec {
    std::string_view key;
    M T::*member;
    Presence presence;
};

template <class T, class M>
constexpr FieldSpec<T, M> field(std::string_view key, M T::*member) {
    return {key, member, Presence::Required};
}
template <class T, class M>
constexpr FieldSpec<T, M> field_omit_empty(std::string_view key, M T::*member) {
    return {key, member, Presence::OmitWhenEmpty};
}
template <class T, class M>
constexpr FieldSpec<T, M> field_default(std::string_view key, M T::*member) {
    return {key, member, Presence::DefaultWhenMissing};
}

// Specialise with: static constexpr std::string_view name;  (e.g. "DeploymentPlan")
//                  static constexpr auto list = std::make_tuple(field(...), ...);
template <class T>
struct Fields;

template <class T>
concept HasFields = requires {
    Fields<T>::name;
    Fields<T>::list;
};

namespace detail {

template <class M>
struct IsOptional : std::false_type {};
template <class M>
struct IsOptional<std::optional<M>> : std::true_type {};

template <class T, class M>
bool is_required(const FieldSpec<T, M>& f) {
    return f.presence == Presence::Required && !IsOptional<M>::value;
}

template <class T, class M>
std::optional<ReadError> read_member(const FieldSpec<T, M>& f, const Value& value, T& out) {
    if constexpr (IsOptional<M>::value) {
        if (value.is_null()) {
            out.*(f.member) = std::nullopt;
            return std::nullopt;
        }
        auto item = Codec<typename M::value_type>::read(value);
        if (!item) return std::move(item.error());
        out.*(f.member) = std::move(*item);
    } else {
        auto item = Codec<M>::read(value);
        if (!item) return std::move(item.error());
        out.*(f.member) = std::move(*item);
    }
    return std::nullopt;
}

template <class T, class M>
void write_member(const FieldSpec<T, M>& f, const T& in, Object& out) {
    const M& member = in.*(f.member);
    if constexpr (IsOptional<M>::value) {
        if (!member) return;
        push_member(out, std::string(f.key), Codec<typename M::value_type>::write(*member));
    } else {
        if constexpr (requires { member.empty(); }) {
            if (f.presence == Presence::OmitWhenEmpty && member.empty()) return;
        }
        push_member(out, std::string(f.key), Codec<M>::write(member));
    }
}

}  // namespace detail

// Calls f(std::integral_constant<std::size_t, I>{}) for I = 0 .. N-1.
template <std::size_t N, class F>
constexpr void for_each_index(F&& f) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (f(std::integral_constant<std::size_t, I>{}), ...);
    }(std::make_index_sequence<N>{});
}

// Reads the declared members of `T` from an object whose closing brace was
// consumed at `end`; members it does not declare are skipped.
template <HasFields T>
ReadResult<T> read_object(const Object& object, std::size_t end) {
    constexpr auto& list = Fields<T>::list;
    constexpr std::size_t count = std::tuple_size_v<std::remove_cvref_t<decltype(list)>>;
    T out{};
    std::array<bool, count> seen{};
    for (const Member& member : object) {
        std::optional<ReadError> error;
        bool matched = false;
        for_each_index<count>([&](auto index) {
            constexpr std::size_t i = decltype(index)::value;
            const auto& declared = std::get<i>(list);
            if (matched || member.key != declared.key) return;
            matched = true;
            if (seen[i]) {
                error = duplicate_field(member.key, member.key_end);
                return;
            }
            seen[i] = true;
            error = detail::read_member(declared, member.value, out);
        });
        if (error) return std::unexpected(std::move(*error));
    }
    std::optional<ReadError> missing;
    for_each_index<count>([&](auto index) {
        constexpr std::size_t i = decltype(index)::value;
        if (!missing && !seen[i] && detail::is_required(std::get<i>(list))) {
            missing = missing_field(std::get<i>(list).key, end);
        }
    });
    if (missing) return std::unexpected(std::move(*missing));
    return out;
}

// The same, for a value that must be an object; `wanted` names the type in
// the invalid-type message.
template <HasFields T>
ReadResult<T> read_fields(const Value& value, std::string_view wanted) {
    const Object* object = value.as_object();
    if (object == nullptr) return std::unexpected(invalid_type(value, wanted));
    return read_object<T>(*object, value.end());
}

template <HasFields T>
void write_fields(const T& in, Object& out) {
    std::apply([&](const auto&... f) { (detail::write_member(f, in, out), ...); }, Fields<T>::list);
}

template <HasFields T>
struct Codec<T> {
    static ReadResult<T> read(const Value& value) {
        return read_fields<T>(value, "struct " + std::string(Fields<T>::name));
    }
    static Value write(const T& in) {
        Object out;
        write_fields(in, out);
        return Value(std::move(out));
    }
};

// ---------------------------------------------------- internally tagged enums

// A `std::variant` of structs written as one object whose member `tag` names
// the alternative and whose other members are that alternative's fields.
// Specialise with: static constexpr std::string_view name;  (e.g. "DeploymentStepKind")
//                  static constexpr std::string_view tag;   (e.g. "kind")
//                  static constexpr std::array<std::string_view, N> variants;  (in alternative order)
template <class V>
struct InternallyTagged;

template <class V>
concept IsInternallyTagged = requires {
    InternallyTagged<V>::name;
    InternallyTagged<V>::tag;
    InternallyTagged<V>::variants;
};

template <IsInternallyTagged V>
struct Codec<V> {
    using Spec = InternallyTagged<V>;

    // The object is taken whole before its tag is looked at, so every fault
    // inside it is reported at its closing brace.
    static ReadResult<V> read(const Value& value) {
        const Object* object = value.as_object();
        if (object == nullptr) {
            return std::unexpected(invalid_type(value, "internally tagged enum " + std::string(Spec::name)));
        }
        auto result = read_inside(*object);
        if (!result) result.error().consumed = value.end();
        return result;
    }

    static Value write(const V& v) {
        Object out;
        push_member(out, std::string(Spec::tag), Value(std::string(Spec::variants[v.index()])));
        std::visit([&](const auto& alternative) { write_fields(alternative, out); }, v);
        return Value(std::move(out));
    }

private:
    static ReadResult<V> read_inside(const Object& object) {
        const Value* tag = nullptr;
        for (const Member& member : object) {
            if (member.key != Spec::tag) continue;
            if (tag != nullptr) return std::unexpected(duplicate_field(Spec::tag, 0));
            tag = &member.value;
        }
        if (tag == nullptr) return std::unexpected(missing_field(Spec::tag, 0));
        const std::string* name = tag->as_string();
        if (name == nullptr) return std::unexpected(invalid_type(*tag, "variant identifier"));
        for (std::size_t i = 0; i < Spec::variants.size(); ++i) {
            if (Spec::variants[i] == *name) return read_alternative(i, object);
        }
        return std::unexpected(unknown_variant(*name, Spec::variants, 0));
    }

    static ReadResult<V> read_alternative(std::size_t index, const Object& object) {
        ReadResult<V> result = std::unexpected(ReadError{});
        for_each_index<std::variant_size_v<V>>([&](auto alternative) {
            constexpr std::size_t i = decltype(alternative)::value;
            if (i != index) return;
            using Alt = std::variant_alternative_t<i, V>;
            auto read = read_object<Alt>(object, 0);
            if (read) {
                result = V(std::in_place_index<i>, std::move(*read));
            } else {
                result = std::unexpected(std::move(read.error()));
            }
        });
        return result;
    }
};

// ------------------------------------------------------------------ helpers

template <HasCodec T>
Value to_value(const T& value) {
    return Codec<T>::write(value);
}

template <HasCodec T>
ReadResult<T> from_value(const Value& value) {
    return Codec<T>::read(value);
}

// Parses `text` as one `T`; the error is the message with its position.
template <HasCodec T>
std::expected<T, std::string> from_text(std::string_view text) {
    auto value = parse(text);
    if (!value) return std::unexpected(located_message(text, value.error()));
    auto typed = Codec<T>::read(*value);
    if (!typed) return std::unexpected(located_message(text, typed.error()));
    return std::move(*typed);
}

template <HasCodec T>
std::string to_pretty(const T& value) {
    return write_pretty(Codec<T>::write(value));
}

}  // namespace vorelcore_json
