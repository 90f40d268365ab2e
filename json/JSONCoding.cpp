#include "json/JSON.h"

#include "platform/foundation/Coding.h"

#include <cmath>

using plat::Object;

namespace {

template <typename T> std::optional<JSON> attempt(const plat::SingleValueDecodingContainer& container) {
    try {
        return JSON(container.decode<T>());
    } catch (const plat::DecodingError&) {
        return std::nullopt;
    }
}

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

} // namespace

JSON JSON::decode(plat::Decoder& decoder) {
    // Every failure is dropped: what the decoder cannot give becomes null. The order of attempts
    // matters: Bool first, so true stays a bool and does not become the number 1.
    try {
        plat::SingleValueDecodingContainer container = decoder.singleValueContainer();
        if (container.decodeNil()) return JSON(Object::null());
        std::optional<JSON> value;
        if (!value) value = attempt<bool>(container);
        if (!value) value = attempt<int64_t>(container);
        if (!value) value = attempt<int8_t>(container);
        if (!value) value = attempt<int32_t>(container);
        if (!value) value = attempt<int64_t>(container);
        if (!value) value = attempt<uint64_t>(container);
        if (!value) value = attempt<uint8_t>(container);
        if (!value) value = attempt<uint16_t>(container);
        if (!value) value = attempt<uint32_t>(container);
        if (!value) value = attempt<uint64_t>(container);
        if (!value) value = attempt<double>(container);
        if (!value) value = attempt<std::string>(container);
        if (!value) value = attempt<std::vector<JSON>>(container);
        if (!value) value = attempt<std::map<std::string, JSON>>(container);
        if (value) return *value;
    } catch (const std::exception&) {
    }
    return JSON(Object::null());
}

void JSON::encode(plat::Encoder& encoder) const {
    plat::SingleValueEncodingContainer container = encoder.singleValueContainer();
    const Object raw = object();
    switch (type_) {
    case Type::null:
    case Type::unknown:
        container.encodeNil();
        return;
    case Type::number: {
        // The first type that holds the number exactly: an integral value is written as a signed
        // integer when it fits, else as an unsigned one, anything else as a Double.
        const plat::Number& n = raw.number();
        if (n.isInteger()) {
            if (n.isUnsigned() && n.uint64Value() > static_cast<uint64_t>(INT64_MAX))
                container.encode(n.uint64Value());
            else
                container.encode(n.int64Value());
            return;
        }
        double d = n.doubleValue();
        if (d == std::trunc(d) && d >= -kTwo63 && d < kTwo63)
            container.encode(static_cast<int64_t>(d));
        else if (d == std::trunc(d) && d >= kTwo63 && d < kTwo64)
            container.encode(static_cast<uint64_t>(d));
        else
            container.encode(d);
        return;
    }
    case Type::bool_:
        container.encode(raw.number().boolValue());
        return;
    case Type::string:
        container.encode(raw.string());
        return;
    case Type::array:
        container.encode(arrayValue());
        return;
    case Type::dictionary:
        container.encode(dictionaryValue());
        return;
    }
}
