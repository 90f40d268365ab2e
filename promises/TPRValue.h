// What a promise block may hand back: a plain value (plat::Object, absent for none), an error, or
// another promise to follow. The chaining rule of the library rests on this tag: a promise is
// followed, an error rejects, anything else (none included) fulfils.
//
// Errors can also travel inside plain values (for example in the result array of `any`): they are
// boxed as an opaque object by TPRErrorObject(). A TPRValue made from such an object is an error,
// just as a value whose dynamic type is an error counts as one.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstddef>
#include <memory>
#include <type_traits>
#include <variant>

class TPRPromise;

// Boxes an error as a plain object (for arrays that hold values and errors side by side).
plat::Object TPRErrorObject(const plat::Error& error);
// The error boxed in `object`, or null when it holds none.
const plat::Error* TPRErrorFromObject(const plat::Object& object);
// "Error Domain=<domain> Code=<code> "<description>"", for descriptions and test failures.
std::string TPRErrorDescription(const plat::Error& error);

class TPRValue {
public:
    enum class Kind { Object, Error, Promise };

    // None: fulfils with an absent value.
    TPRValue() = default;
    TPRValue(std::nullptr_t) {}
    TPRValue(plat::Object object);
    TPRValue(plat::Error error) : value_(std::move(error)) {}
    // A null promise pointer counts as none.
    TPRValue(std::shared_ptr<TPRPromise> promise);
    // Anything a plat::Object can be made from (numbers, strings, arrays, ...).
    template <typename T>
    requires(!std::is_same_v<std::decay_t<T>, TPRValue> && !std::is_same_v<std::decay_t<T>, plat::Object> &&
             !std::is_same_v<std::decay_t<T>, plat::Error> &&
             !std::is_same_v<std::decay_t<T>, std::nullptr_t> &&
             !std::is_convertible_v<T, std::shared_ptr<TPRPromise>> &&
             std::is_constructible_v<plat::Object, T>) TPRValue(T&& v)
        : TPRValue(plat::Object(std::forward<T>(v))) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool isObject() const { return kind() == Kind::Object; }
    bool isError() const { return kind() == Kind::Error; }
    bool isPromise() const { return kind() == Kind::Promise; }

    // Each read returns a shared empty value when the kind does not match.
    const plat::Object& object() const;
    const plat::Error& error() const;
    const std::shared_ptr<TPRPromise>& promise() const;

private:
    std::variant<plat::Object, plat::Error, std::shared_ptr<TPRPromise>> value_;
};
