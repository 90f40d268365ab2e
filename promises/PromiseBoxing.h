// How the typed front moves typed values into the core's plat::Object and back. Numbers, strings,
// data, dates, objects, optionals and vectors map onto the matching object kinds; every other type
// travels as an opaque object. A missing value (an empty optional) becomes the absent object, while
// an explicit null object stays null. Specialise Boxing<T> to map another type.
#pragma once

#include "promises/TPRValue.h"

#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace promises {

// The value of a promise that carries no value (a completion without result).
struct Void {
    bool operator==(const Void&) const = default;
};

// The type's name without namespace qualifiers ("int", "string", "vector<int, ...>").
std::string unqualifiedTypeName(const std::type_info& type);

// box(): the object for a value. unbox(): the value for an object, none when it does not convert.
template <typename T, typename = void> struct Boxing {
    static plat::Object box(const T& value) {
        return plat::Object(
            plat::Opaque::make<T>(std::make_shared<const T>(value), unqualifiedTypeName(typeid(T))));
    }
    static std::optional<T> unbox(const plat::Object& object) {
        if (const T* value = object.opaque().as<T>()) return *value;
        return std::nullopt;
    }
};

// Core object to typed value: the object itself if it converts, else a null object if that
// converts (optionals, objects), else none.
template <typename T> std::optional<T> asValue(const plat::Object& object) {
    if (auto value = Boxing<T>::unbox(object)) return value;
    return Boxing<T>::unbox(plat::Object::null());
}
// Typed value to core object.
template <typename T> plat::Object asAnyObject(const T& value) {
    return Boxing<T>::box(value);
}

template <> struct Boxing<plat::Object> {
    static plat::Object box(const plat::Object& value) { return value; }
    static std::optional<plat::Object> unbox(const plat::Object& object) { return object; }
};

template <> struct Boxing<Void> {
    static plat::Object box(const Void&) { return plat::Object::null(); }
    static std::optional<Void> unbox(const plat::Object&) { return Void{}; }
};

template <> struct Boxing<bool> {
    static plat::Object box(bool value) { return plat::Object(plat::Number(value)); }
    static std::optional<bool> unbox(const plat::Object& object) {
        if (!object.isNumber()) return std::nullopt;
        return object.number().boolValue();
    }
};

template <typename T>
struct Boxing<T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>>> {
    static plat::Object box(T value) { return plat::Object(value); }
    static std::optional<T> unbox(const plat::Object& object) {
        if (!object.isNumber()) return std::nullopt;
        const plat::Number& n = object.number();
        if constexpr (std::is_floating_point_v<T>)
            return static_cast<T>(n.doubleValue());
        else if constexpr (std::is_signed_v<T>)
            return static_cast<T>(n.int64Value());
        else
            return static_cast<T>(n.uint64Value());
    }
};

template <> struct Boxing<std::string> {
    static plat::Object box(const std::string& value) { return plat::Object(value); }
    static std::optional<std::string> unbox(const plat::Object& object) {
        if (!object.isString()) return std::nullopt;
        return object.string();
    }
};

template <> struct Boxing<plat::Data> {
    static plat::Object box(const plat::Data& value) { return plat::Object(value); }
    static std::optional<plat::Data> unbox(const plat::Object& object) {
        if (!object.isData()) return std::nullopt;
        return object.data();
    }
};

template <> struct Boxing<plat::Date> {
    static plat::Object box(const plat::Date& value) { return plat::Object(value); }
    static std::optional<plat::Date> unbox(const plat::Object& object) {
        if (!object.isDate()) return std::nullopt;
        return object.date();
    }
};

// An error value is an error wherever it goes: handed to fulfil or returned from work, it rejects.
template <> struct Boxing<plat::Error> {
    static plat::Object box(const plat::Error& value) { return TPRErrorObject(value); }
    static std::optional<plat::Error> unbox(const plat::Object& object) {
        if (const plat::Error* error = TPRErrorFromObject(object)) return *error;
        return std::nullopt;
    }
};

template <typename T> struct Boxing<std::optional<T>> {
    static plat::Object box(const std::optional<T>& value) {
        return value ? Boxing<T>::box(*value) : plat::Object();
    }
    static std::optional<std::optional<T>> unbox(const plat::Object& object) {
        std::optional<std::optional<T>> result;
        if (object.isAbsent() || object.isNull())
            result.emplace(std::nullopt);
        else if (auto value = Boxing<T>::unbox(object))
            result.emplace(std::move(value));
        return result;
    }
};

// Elements that box to nothing are stored as null, as arrays cannot hold an absent object.
template <typename T> struct Boxing<std::vector<T>> {
    static plat::Object box(const std::vector<T>& values) {
        plat::Object::Array array;
        array.reserve(values.size());
        for (const T& value : values) {
            plat::Object element = Boxing<T>::box(value);
            array.push_back(element.isAbsent() ? plat::Object::null() : std::move(element));
        }
        return plat::Object(std::move(array));
    }
    static std::optional<std::vector<T>> unbox(const plat::Object& object) {
        if (!object.isArray()) return std::nullopt;
        std::vector<T> values;
        values.reserve(object.array().size());
        for (const plat::Object& element : object.array()) {
            auto value = asValue<T>(element);
            if (!value) return std::nullopt;
            values.push_back(std::move(*value));
        }
        return values;
    }
};

} // namespace promises
