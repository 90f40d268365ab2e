#include "json/JSON.h"

#include "platform/foundation/Text.h"

using plat::Number;
using plat::Object;

std::optional<std::vector<JSON>> JSON::array() const {
    if (type_ != Type::array) return std::nullopt;
    std::vector<JSON> elements;
    elements.reserve(raw_.array().size());
    for (const Object& element : raw_.array())
        elements.emplace_back(element);
    return elements;
}

std::vector<JSON> JSON::arrayValue() const {
    return array().value_or(std::vector<JSON>());
}

std::optional<plat::Array> JSON::arrayObject() const {
    if (type_ != Type::array) return std::nullopt;
    return raw_.array();
}

void JSON::setArrayObject(std::optional<plat::Array> value) {
    setObject(value ? Object(std::move(*value)) : Object::null());
}

std::optional<std::map<std::string, JSON>> JSON::dictionary() const {
    if (type_ != Type::dictionary) return std::nullopt;
    std::map<std::string, JSON> entries;
    for (const auto& [key, value] : raw_.dict())
        entries.emplace_hint(entries.end(), key, JSON(value));
    return entries;
}

std::map<std::string, JSON> JSON::dictionaryValue() const {
    return dictionary().value_or(std::map<std::string, JSON>());
}

std::optional<plat::Dict> JSON::dictionaryObject() const {
    if (type_ != Type::dictionary) return std::nullopt;
    return raw_.dict();
}

void JSON::setDictionaryObject(std::optional<plat::Dict> value) {
    setObject(value ? Object(std::move(*value)) : Object::null());
}

std::optional<bool> JSON::bool_() const {
    if (type_ != Type::bool_) return std::nullopt;
    return raw_.number().boolValue();
}

void JSON::setBool(bool value) {
    setObject(Object(plat::Number(value)));
}
void JSON::setBool(std::nullopt_t) {
    setObject(Object::null());
}
void JSON::setBool(const std::optional<bool>& value) {
    if (value)
        setBool(*value);
    else
        setBool(std::nullopt);
}

namespace {

// The words that read as true, compared ignoring case and nothing else (no trimming).
bool isTrueWord(const std::string& text) {
    static const char* const words[] = {"true", "y", "t", "yes", "1"};
    // Case folding maps no code point to nothing, so a match has at most four code points (16
    // bytes); longer texts never reach the Unicode comparison.
    if (text.empty() || text.size() > 16) return false;
    for (const char* word : words) {
        if (plat::text::caseInsensitiveCompare(text, word) == 0) return true;
    }
    return false;
}

} // namespace

bool JSON::boolValue() const {
    switch (type_) {
    case Type::bool_:
        return raw_.number().boolValue();
    case Type::number:
        return raw_.number().boolValue();
    case Type::string:
        return isTrueWord(raw_.string());
    default:
        return false;
    }
}

void JSON::setBoolValue(bool value) {
    setBool(value);
}

std::optional<std::string> JSON::string() const {
    if (type_ != Type::string) return std::nullopt;
    return raw_.string();
}

void JSON::setString(std::optional<std::string> value) {
    setObject(value ? Object(std::move(*value)) : Object::null());
}

std::string JSON::stringValue() const {
    switch (type_) {
    case Type::string:
        return raw_.string();
    case Type::number:
        return raw_.number().stringValue();
    case Type::bool_:
        return raw_.number().boolValue() ? "true" : "false";
    default:
        return std::string();
    }
}

void JSON::setStringValue(std::string value) {
    setObject(Object(std::move(value)));
}

std::optional<plat::Number> JSON::number() const {
    switch (type_) {
    case Type::number:
        return raw_.number();
    // A bool reads as the integer 1 or 0, never as a boolean number.
    case Type::bool_:
        return plat::Number(static_cast<int64_t>(raw_.number().boolValue() ? 1 : 0));
    default:
        return std::nullopt;
    }
}

void JSON::setNumber(std::optional<plat::Number> value) {
    setObject(value ? Object(*value) : Object::null());
}

plat::Number JSON::numberValue() const {
    switch (type_) {
    case Type::string:
        // Text that does not begin with a number reads as the decimal zero.
        return plat::Number::decimal(raw_.string()).value_or(plat::Number::decimal(0.0));
    case Type::number:
    case Type::bool_:
        return *number();
    default:
        return plat::Number(0.0);
    }
}

void JSON::setNumberValue(const plat::Number& value) {
    setObject(Object(value));
}

std::optional<Object> JSON::null_() const {
    if (type_ != Type::null) return std::nullopt;
    return Object::null();
}

void JSON::setNull(const std::optional<Object>&) {
    setObject(Object::null());
}

std::optional<plat::URL> JSON::url() const {
    if (type_ != Type::string) return std::nullopt;
    const std::string& text = raw_.string();
    // Text that already carries escapes is taken as it is; anything else is encoded first.
    if (plat::text::containsRegexMatch(text, "%[0-9A-Fa-f]{2}")) return plat::URL::string(text);
    std::optional<std::string> encoded =
        plat::addingPercentEncoding(text, plat::URLAllowedCharacters::urlQueryAllowed());
    if (!encoded) return std::nullopt;
    return plat::URL::string(*encoded);
}

void JSON::setUrl(const std::optional<plat::URL>& value) {
    setObject(value ? Object(value->absoluteString()) : Object::null());
}

// The numeric accessors of every width. All conversions go through plat::Number, which truncates
// toward zero and saturates at the target's range (NaN gives 0), so no input is undefined.
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
