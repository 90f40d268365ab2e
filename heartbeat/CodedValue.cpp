#include "heartbeat/CodedValue.h"

#include <cmath>

namespace heartbeat {
namespace {

[[noreturn]] void mismatch(std::string_view key, const char* expected, const plat::Object& value) {
    throw CodingError(CodingError::Kind::typeMismatch, "Expected " + std::string(expected) + " for \"" +
                                                           std::string(key) + "\" but found " +
                                                           plat::Object::kindName(value.kind()) + ".");
}

} // namespace

const plat::Object& CodedValue::require(const plat::Object& container, std::string_view key) {
    if (!container.isDict()) mismatch(key, "a keyed container", container);
    const plat::Object& value = container[key];
    if (value.isAbsent())
        throw CodingError(CodingError::Kind::keyNotFound,
                          "No value associated with key \"" + std::string(key) + "\".");
    return value;
}

const std::string& CodedValue::string(const plat::Object& value, std::string_view key) {
    if (!value.isString()) mismatch(key, "a string", value);
    return value.string();
}

int64_t CodedValue::integer(const plat::Object& value, std::string_view key) {
    const plat::Number* n = value.asNumber();
    if (!n || n->isBool()) mismatch(key, "an integer", value);
    if (n->isInteger()) {
        if (n->isUnsigned() && n->uint64Value() > uint64_t(INT64_MAX))
            throw CodingError(CodingError::Kind::dataCorrupted,
                              "Number for \"" + std::string(key) + "\" does not fit.");
        return n->int64Value();
    }
    double d = n->doubleValue();
    // 2^63 is the first double above the int64 range.
    if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        throw CodingError(CodingError::Kind::dataCorrupted,
                          "Number for \"" + std::string(key) + "\" is not a whole number.");
    return static_cast<int64_t>(d);
}

double CodedValue::number(const plat::Object& value, std::string_view key) {
    const plat::Number* n = value.asNumber();
    if (!n || n->isBool()) mismatch(key, "a number", value);
    double d = n->doubleValue();
    if (!std::isfinite(d))
        throw CodingError(CodingError::Kind::dataCorrupted,
                          "Number for \"" + std::string(key) + "\" is not finite.");
    return d;
}

const plat::Object::Array& CodedValue::array(const plat::Object& value, std::string_view key) {
    if (!value.isArray()) mismatch(key, "an array", value);
    return value.array();
}

} // namespace heartbeat
