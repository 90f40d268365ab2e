// Strict reads of coded values (plat::Object trees from JSON): each answers the value or throws
// CodingError naming the key, so record decoders stay short and never default a field.
#pragma once

#include "heartbeat/CodingError.h"
#include "platform/object/Object.h"

#include <string_view>

namespace heartbeat {

class CodedValue {
public:
    // The value under `key` of a keyed container; throws when `container` is not one or lacks it.
    static const plat::Object& require(const plat::Object& container, std::string_view key);
    static const std::string& string(const plat::Object& value, std::string_view key);
    // A whole number that fits 64 bits (an integral floating-point value is accepted too); never a
    // boolean.
    static int64_t integer(const plat::Object& value, std::string_view key);
    // A finite number (dates are coded as numbers).
    static double number(const plat::Object& value, std::string_view key);
    static const plat::Object::Array& array(const plat::Object& value, std::string_view key);
};

} // namespace heartbeat
