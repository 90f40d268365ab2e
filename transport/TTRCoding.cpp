#include "transport/TTRCoding.h"

namespace ttr_coding {
namespace {

// The value under `key` when present and of `kind`; false (recorded) for another kind.
bool fetch(plat::KeyedUnarchiver& coder, const char* key, plat::Object::Kind kind, const char* expected,
           plat::Object& out) {
    if (!coder.containsValueForKey(key)) return true;
    plat::Object value = coder.decodeObjectForKey(key);
    if (coder.error()) return false;
    if (value.kind() != kind) {
        coder.failWithError(
            plat::KeyedUnarchiver::unexpectedClassError(key, plat::Object::kindName(value.kind()), expected));
        return false;
    }
    out = std::move(value);
    return true;
}

} // namespace

bool decodeInt64(plat::KeyedUnarchiver& coder, const char* key, std::optional<int64_t>& out) {
    plat::Object value;
    if (!fetch(coder, key, plat::Object::Kind::Number, "NSNumber", value)) return false;
    if (value.isAbsent()) return true;
    const plat::Number& number = value.number();
    if (!number.isInteger() || number.isBool() || (number.isUnsigned() && number.uint64Value() > INT64_MAX)) {
        coder.failWithError(
            plat::KeyedUnarchiver::unexpectedClassError(key, "a non-integer number", "int64"));
        return false;
    }
    out = number.int64Value();
    return true;
}

bool decodeString(plat::KeyedUnarchiver& coder, const char* key, std::optional<std::string>& out) {
    plat::Object value;
    if (!fetch(coder, key, plat::Object::Kind::String, "NSString", value)) return false;
    if (!value.isAbsent()) out = value.string();
    return true;
}

bool decodeData(plat::KeyedUnarchiver& coder, const char* key, std::optional<plat::Data>& out) {
    plat::Object value;
    if (!fetch(coder, key, plat::Object::Kind::Data, "NSData", value)) return false;
    if (!value.isAbsent()) out = value.data();
    return true;
}

bool decodeDate(plat::KeyedUnarchiver& coder, const char* key, std::optional<plat::Date>& out) {
    plat::Object value;
    if (!fetch(coder, key, plat::Object::Kind::Date, "NSDate", value)) return false;
    if (!value.isAbsent()) out = value.date();
    return true;
}

} // namespace ttr_coding
