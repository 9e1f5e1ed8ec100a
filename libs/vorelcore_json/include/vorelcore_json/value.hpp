#pragma once
// The generic JSON value tree every document passes through, on its way in
// (parsed, with source positions) and on its way out (pretty or canonical).
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vorelcore_json {

struct Member;
class Value;

using Array = std::vector<Value>;
// Members keep their source order and any repeated key, so the typed reader
// can report a duplicate field where it stands.
using Object = std::vector<Member>;

struct Null {
    friend bool operator==(Null, Null) = default;
};

class Value {
public:
    // Integers that fit a signed or unsigned 64-bit integer are integers:
    // non-negative ones are held as `std::uint64_t`, negative ones as
    // `std::int64_t`. Everything else numeric is a `double`.
    using Data = std::variant<Null, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object>;

    // Defined below `Member`: each of them may destroy `data_`, which needs
    // the element type of `Object` complete.
    Value();
    Value(Null);
    Value(bool b);
    Value(std::uint64_t u);
    Value(std::int64_t i);
    Value(double d);
    Value(std::string s);
    Value(const char* s);
    Value(Array a);
    Value(Object o);

    const Data& data() const { return data_; }
    Data& data() { return data_; }

    bool is_null() const { return std::holds_alternative<Null>(data_); }
    bool is_integer() const {
        return std::holds_alternative<std::uint64_t>(data_) || std::holds_alternative<std::int64_t>(data_);
    }
    const std::string* as_string() const { return std::get_if<std::string>(&data_); }
    const Array* as_array() const { return std::get_if<Array>(&data_); }
    const Object* as_object() const { return std::get_if<Object>(&data_); }
    Array* as_array() { return std::get_if<Array>(&data_); }
    Object* as_object() { return std::get_if<Object>(&data_); }

    // Bytes of the source text consumed when this value ended (one past its
    // last byte); 0 for values built in memory.
    std::size_t end() const { return end_; }
    void set_end(std::size_t end) { end_ = end; }

    // Structural equality; source positions play no part.
    friend bool operator==(const Value& a, const Value& b);

private:
    Data data_;
    std::size_t end_ = 0;
};

struct Member {
    std::string key;
    Value value;
    std::size_t key_end = 0;  // bytes consumed when the key's closing quote was read

    friend bool operator==(const Member& a, const Member& b) { return a.key == b.key && a.value == b.value; }
};

inline Value::Value() = default;
inline Value::Value(Null) {}
inline Value::Value(bool b) : data_(b) {}
inline Value::Value(std::uint64_t u) : data_(u) {}
inline Value::Value(double d) : data_(d) {}
inline Value::Value(std::string s) : data_(std::move(s)) {}
inline Value::Value(const char* s) : data_(std::string(s)) {}
inline Value::Value(Array a) : data_(std::move(a)) {}
inline Value::Value(Object o) : data_(std::move(o)) {}

// Appends a member to an object value being built (writers use this).
inline void push_member(Object& object, std::string key, Value value) {
    object.push_back(Member{std::move(key), std::move(value), 0});
}

}  // namespace vorelcore_json
