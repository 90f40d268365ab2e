// Maybe<Value>: a settled outcome, either a value or an error, as the typed `any` reports them.
#pragma once

#include "promises/PromiseBoxing.h"
#include "promises/PromiseError.h"

#include <concepts>
#include <variant>

namespace promises {

template <typename Value> class Maybe {
public:
    Maybe(Value value) : outcome_(std::in_place_index<0>, std::move(value)) {}
    Maybe(plat::Error error) : outcome_(std::in_place_index<1>, std::move(error)) {}
    Maybe(PromiseError error) : Maybe(asError(error)) {}

    bool isValue() const { return outcome_.index() == 0; }
    bool isError() const { return outcome_.index() == 1; }
    std::optional<Value> value() const {
        if (isValue()) return std::get<0>(outcome_);
        return std::nullopt;
    }
    std::optional<plat::Error> error() const {
        if (isError()) return std::get<1>(outcome_);
        return std::nullopt;
    }
    // The boxed value, or the error boxed as an object.
    plat::Object asAnyObject() const {
        return isValue() ? promises::asAnyObject(std::get<0>(outcome_))
                         : TPRErrorObject(std::get<1>(outcome_));
    }

    // Values compare with Value's ==; errors by domain, code and user information; a value never
    // equals an error.
    bool operator==(const Maybe& other) const requires std::equality_comparable<Value> {
        if (outcome_.index() != other.outcome_.index()) return false;
        if (isValue()) return std::get<0>(outcome_) == std::get<0>(other.outcome_);
        return sameError(std::get<1>(outcome_), std::get<1>(other.outcome_));
    }

private:
    std::variant<Value, plat::Error> outcome_;
};

// An error object gives the error case, anything else the value case of the converted object;
// none when the object does not convert to Value.
template <typename Value> std::optional<Maybe<Value>> asMaybe(const plat::Object& object) {
    if (const plat::Error* error = TPRErrorFromObject(object)) return Maybe<Value>(*error);
    if (auto value = asValue<Value>(object)) return Maybe<Value>(std::move(*value));
    return std::nullopt;
}

template <typename T> struct Boxing<Maybe<T>> {
    static plat::Object box(const Maybe<T>& value) { return value.asAnyObject(); }
    static std::optional<Maybe<T>> unbox(const plat::Object& object) { return asMaybe<T>(object); }
};

} // namespace promises
