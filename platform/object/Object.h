// The dynamic value model that parsers, property lists, user defaults and the keychain exchange:
// absent, null, a typed Number, String, Data (bytes), Date, Array, string-keyed Dict, or an opaque
// value of any other type. Values are immutable once shared, so copies are cheap (reference
// counted) and independent (mutation copies on write).
#pragma once

#include "platform/object/Number.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace plat {

class Object;

// A point in time, as seconds since 1970-01-01T00:00:00Z.
struct Date {
    double secondsSince1970 = 0;
    static Date now();
    // Seconds since 2001-01-01T00:00:00Z, the reference date of stored property lists.
    double timeIntervalSinceReferenceDate() const { return secondsSince1970 - 978307200.0; }
    static Date fromReferenceDate(double seconds) { return Date{seconds + 978307200.0}; }
    bool operator==(const Date&) const = default;
    auto operator<=>(const Date&) const = default;
};

// A byte buffer.
using Data = std::vector<uint8_t>;
inline Data toData(std::string_view s) {
    return Data(s.begin(), s.end());
}
inline std::string toString(const Data& d) {
    return std::string(d.begin(), d.end());
}

// An object of any other type, held by shared pointer. `typeName` names it for diagnostics.
struct Opaque {
    std::shared_ptr<const void> pointer;
    std::string typeName;
    const std::type_info* type = nullptr;

    template <typename T> static Opaque make(std::shared_ptr<const T> p, std::string name) {
        return Opaque{std::move(p), std::move(name), &typeid(T)};
    }
    template <typename T> const T* as() const {
        return type && *type == typeid(T) ? static_cast<const T*>(pointer.get()) : nullptr;
    }
    bool operator==(const Opaque& o) const { return pointer == o.pointer; }
};

class Object {
public:
    enum class Kind : uint8_t { Absent, Null, Number, String, Data, Date, Array, Dict, Opaque };
    using Array = std::vector<Object>;
    using Dict = std::map<std::string, Object, std::less<>>;

    Object() = default; // absent
    static Object null() { return Object(Kind::Null); }

    Object(const plat::Number& n) : kind_(Kind::Number), number_(n) {}
    // Native numbers become typed Numbers; a bool stays a boolean.
    template <typename T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, char>) Object(T v)
        : kind_(Kind::Number), number_(numberFrom(v)) {}
    Object(std::string s);
    Object(std::string_view s) : Object(std::string(s)) {}
    Object(const char* s) : Object(std::string(s)) {}
    Object(plat::Data d);
    Object(plat::Date d) : kind_(Kind::Date), date_(d) {}
    Object(Array a);
    Object(Dict d);
    Object(plat::Opaque o);
    Object(std::initializer_list<std::pair<const std::string, Object>> dict) : Object(Dict(dict)) {}

    Kind kind() const { return kind_; }
    bool isAbsent() const { return kind_ == Kind::Absent; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool isNumber() const { return kind_ == Kind::Number; }
    bool isString() const { return kind_ == Kind::String; }
    bool isData() const { return kind_ == Kind::Data; }
    bool isDate() const { return kind_ == Kind::Date; }
    bool isArray() const { return kind_ == Kind::Array; }
    bool isDict() const { return kind_ == Kind::Dict; }
    bool isOpaque() const { return kind_ == Kind::Opaque; }

    // Typed reads. Each returns a shared empty value (or zero) when the kind does not match, so
    // callers that check `kind()` first never pay for a copy.
    const plat::Number& number() const;
    const std::string& string() const;
    const plat::Data& data() const;
    plat::Date date() const { return kind_ == Kind::Date ? date_ : plat::Date{}; }
    const Array& array() const;
    const Dict& dict() const;
    const plat::Opaque& opaque() const;

    // Pointer-style reads: null when the kind does not match.
    const plat::Number* asNumber() const { return isNumber() ? &number_ : nullptr; }
    const std::string* asString() const { return isString() ? &string() : nullptr; }
    const Array* asArray() const { return isArray() ? &array() : nullptr; }
    const Dict* asDict() const { return isDict() ? &dict() : nullptr; }

    // Copy-on-write access for building values. Calling one on another kind first turns the
    // object into an empty value of that kind.
    Array& mutableArray();
    Dict& mutableDict();

    // Dictionary lookup; absent when this is not a dictionary or the key is missing.
    const Object& operator[](std::string_view key) const;
    // Array element; absent when this is not an array or the index is out of range.
    const Object& at(size_t index) const;

    // Structural equality: numbers by value, containers element by element, opaque values by
    // identity. Absent equals only absent.
    bool operator==(const Object& other) const;

    // A short human-readable rendering for logs and test failures (not JSON).
    std::string debugDescription() const;

    static const char* kindName(Kind kind);

private:
    explicit Object(Kind k) : kind_(k) {}
    template <typename T> static plat::Number numberFrom(T v) {
        if constexpr (std::is_same_v<T, bool>)
            return plat::Number(v);
        else if constexpr (std::is_floating_point_v<T>) {
            if constexpr (sizeof(T) <= sizeof(float))
                return plat::Number(static_cast<float>(v));
            else
                return plat::Number(static_cast<double>(v));
        } else if constexpr (std::is_signed_v<T>) {
            if constexpr (sizeof(T) == 1)
                return plat::Number(static_cast<int8_t>(v));
            else if constexpr (sizeof(T) == 2)
                return plat::Number(static_cast<int16_t>(v));
            else if constexpr (sizeof(T) == 4)
                return plat::Number(static_cast<int32_t>(v));
            else
                return plat::Number(static_cast<int64_t>(v));
        } else {
            if constexpr (sizeof(T) == 1)
                return plat::Number(static_cast<uint8_t>(v));
            else if constexpr (sizeof(T) == 2)
                return plat::Number(static_cast<uint16_t>(v));
            else if constexpr (sizeof(T) == 4)
                return plat::Number(static_cast<uint32_t>(v));
            else
                return plat::Number(static_cast<uint64_t>(v));
        }
    }

    Kind kind_ = Kind::Absent;
    plat::Number number_;
    plat::Date date_;
    // String, Data, Array, Dict and Opaque payloads live behind one shared pointer.
    std::shared_ptr<void> payload_;
};

using Array = Object::Array;
using Dict = Object::Dict;

} // namespace plat
