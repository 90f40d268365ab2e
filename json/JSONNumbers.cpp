// The numeric accessors of every width. All conversions go through plat::Number, which truncates
// toward zero and saturates at the target's range (NaN gives 0), so no input is undefined.
#include "json/JSON.h"

using plat::Number;
using plat::Object;

#define VELMORA_JSON_NUMERIC_ACCESSORS(Type, Optional, Value, SetOptional, SetValue, read, make)             \
    std::optional<Type> JSON::Optional() const {                                                             \
        std::optional<Number> n = number();                                                                  \
        if (!n) return std::nullopt;                                                                         \
        return n->read();                                                                                    \
    }                                                                                                        \
    void JSON::SetOptional(std::optional<Type> value) {                                                      \
        setObject(value ? Object(make(*value)) : Object::null());                                            \
    }                                                                                                        \
    Type JSON::Value() const {                                                                               \
        return numberValue().read();                                                                         \
    }                                                                                                        \
    void JSON::SetValue(Type value) {                                                                        \
        setObject(Object(make(value)));                                                                      \
    }

namespace {
Number sameWidth(double v) {
    return Number(v);
}
Number sameWidth(float v) {
    return Number(v);
}
Number sameWidth(int8_t v) {
    return Number(static_cast<int64_t>(v));
} // widened: never a bool
Number sameWidth(uint8_t v) {
    return Number(v);
}
Number sameWidth(int16_t v) {
    return Number(v);
}
Number sameWidth(uint16_t v) {
    return Number(v);
}
Number sameWidth(int32_t v) {
    return Number(v);
}
Number sameWidth(uint32_t v) {
    return Number(v);
}
Number sameWidth(int64_t v) {
    return Number(v);
}
Number sameWidth(uint64_t v) {
    return Number(v);
}
} // namespace

VELMORA_JSON_NUMERIC_ACCESSORS(double, double_, doubleValue, setDouble, setDoubleValue, doubleValue,
                               sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(float, float_, floatValue, setFloat, setFloatValue, floatValue, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(int64_t, int_, intValue, setInt, setIntValue, int64Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(uint64_t, uInt, uIntValue, setUInt, setUIntValue, uint64Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(int8_t, int8, int8Value, setInt8, setInt8Value, int8Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(uint8_t, uInt8, uInt8Value, setUInt8, setUInt8Value, uint8Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(int16_t, int16, int16Value, setInt16, setInt16Value, int16Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(uint16_t, uInt16, uInt16Value, setUInt16, setUInt16Value, uint16Value,
                               sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(int32_t, int32, int32Value, setInt32, setInt32Value, int32Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(uint32_t, uInt32, uInt32Value, setUInt32, setUInt32Value, uint32Value,
                               sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(int64_t, int64, int64Value, setInt64, setInt64Value, int64Value, sameWidth)
VELMORA_JSON_NUMERIC_ACCESSORS(uint64_t, uInt64, uInt64Value, setUInt64, setUInt64Value, uint64Value,
                               sameWidth)

#undef VELMORA_JSON_NUMERIC_ACCESSORS
