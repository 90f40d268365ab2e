#include "json/JSON.h"

#include <ostream>

using plat::Object;

namespace {

// The canonical booleans and their type codes, made once on first use and never destroyed.
struct CanonicalBooleans {
    plat::Number trueNumber{true};
    plat::Number falseNumber{false};
    std::string trueObjCType{trueNumber.typeCode()};
    std::string falseObjCType{falseNumber.typeCode()};
};

const CanonicalBooleans& canonicalBooleans() {
    static const CanonicalBooleans* booleans = new CanonicalBooleans();
    return *booleans;
}

// A number is a boolean when it equals a canonical boolean by value and also carries that
// boolean's type code; the value alone would make every integer 1 or 0 a boolean.
bool isBool(const plat::Number& number) {
    const CanonicalBooleans& c = canonicalBooleans();
    if (number.compare(c.trueNumber) == 0 && c.trueObjCType == number.typeCode()) return true;
    return number.compare(c.falseNumber) == 0 && c.falseObjCType == number.typeCode();
}

} // namespace

std::optional<JSON::Type> JSON::typeFromRawValue(int64_t rawValue) {
    if (rawValue < 0 || rawValue > 6) return std::nullopt;
    return static_cast<Type>(rawValue);
}

JSON::JSON(const plat::Data& data, unsigned readingOptions) {
    parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), readingOptions);
}

JSON::JSON(std::string_view bytes, unsigned readingOptions) {
    parse(bytes, readingOptions);
}

void JSON::parse(std::string_view bytes, unsigned readingOptions) {
    plat::Error error;
    Object parsed = plat::JSONSerialization::jsonObject(bytes, readingOptions, &error);
    if (parsed.isAbsent()) {
        if (error.domain.empty()) {
            error =
                plat::Error(plat::JSONSerialization::kErrorDomain, plat::JSONSerialization::kParseErrorCode);
        }
        throw JSONException(std::move(error));
    }
    setObject(parsed);
}

JSON::JSON(const Object& object) {
    if (object.isData()) {
        *this = JSON(object.data());
        return;
    }
    setObject(object);
}

JSON::JSON(const plat::Data& data) {
    // Bytes that do not parse give the null value; the parser's error is dropped on purpose.
    try {
        parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
              plat::JSONSerialization::ReadingNone);
    } catch (const JSONException&) {
        *this = JSON();
    }
}

JSON::JSON(const plat::Number& number) {
    setObject(Object(number));
}
JSON::JSON(const char* text) {
    if (text) setObject(Object(std::string(text)));
}
JSON::JSON(std::string text) {
    setObject(Object(std::move(text)));
}
JSON::JSON(std::string_view text) {
    setObject(Object(std::string(text)));
}
JSON::JSON(plat::Array array) {
    setObject(Object(std::move(array)));
}
JSON::JSON(plat::Dict dictionary) {
    setObject(Object(std::move(dictionary)));
}

JSON::JSON(const std::vector<JSON>& array) {
    plat::Array raw;
    raw.reserve(array.size());
    for (const JSON& element : array)
        raw.push_back(element.object());
    setObject(Object(std::move(raw)));
}

JSON::JSON(const std::map<std::string, JSON>& dictionary) {
    plat::Dict raw;
    for (const auto& [key, value] : dictionary)
        raw.emplace_hint(raw.end(), key, value.object());
    setObject(Object(std::move(raw)));
}

JSON JSON::parseJSON(std::string_view text) {
    return JSON(plat::Data(text.begin(), text.end()));
}

const JSON& JSON::null() {
    static const JSON* value = new JSON(Object::null());
    return *value;
}

JSON JSON::arrayLiteral(std::initializer_list<JSON> elements) {
    return JSON(std::vector<JSON>(elements));
}

JSON JSON::dictionaryLiteral(std::initializer_list<std::pair<std::string, JSON>> elements) {
    plat::Dict raw;
    for (const auto& [key, value] : elements)
        raw.insert_or_assign(key, value.object());
    return JSON(Object(std::move(raw)));
}

Object JSON::object() const {
    switch (type_) {
    case Type::null:
    case Type::unknown:
        return Object::null();
    default:
        return raw_;
    }
}

void JSON::setObject(const Object& newValue) {
    error_.reset();
    switch (newValue.kind()) {
    case Object::Kind::Number:
        type_ = isBool(newValue.number()) ? Type::bool_ : Type::number;
        raw_ = newValue;
        return;
    case Object::Kind::String:
        type_ = Type::string;
        raw_ = newValue;
        return;
    case Object::Kind::Null:
    case Object::Kind::Absent:
        type_ = Type::null;
        raw_ = Object::null();
        return;
    case Object::Kind::Array:
        type_ = Type::array;
        raw_ = newValue;
        return;
    case Object::Kind::Dict:
        type_ = Type::dictionary;
        raw_ = newValue;
        return;
    case Object::Kind::Data:
    case Object::Kind::Date:
    case Object::Kind::Opaque:
        break;
    }
    type_ = Type::unknown;
    raw_ = Object::null();
    error_ = JSONError::unsupportedType;
}

void JSON::merge(const JSON& other) {
    mergeWith(other, true);
}

JSON JSON::merged(const JSON& other) const {
    JSON copy = *this;
    copy.mergeWith(other, true);
    return copy;
}

void JSON::mergeWith(const JSON& other, bool typecheck) {
    if (type_ != other.type_) {
        if (typecheck) throw JSONException(JSONError::wrongType);
        *this = other;
        return;
    }
    if (type_ == Type::array) {
        // Every element is read as a JSON and stored back as its raw value, so bytes inside the
        // arrays are parsed here just as a lookup would parse them.
        plat::Array joined;
        joined.reserve(raw_.array().size() + other.raw_.array().size());
        for (const Object& element : raw_.array())
            joined.push_back(JSON(element).object());
        for (const Object& element : other.raw_.array())
            joined.push_back(JSON(element).object());
        *this = JSON(Object(std::move(joined)));
        return;
    }
    if (type_ == Type::dictionary) {
        // Holding the argument's storage keeps it unchanged while the receiver is written, even
        // when the two are the same value.
        const Object source = other.raw_;
        for (const auto& [key, value] : source.dict()) {
            JSON current = (*this)[std::string_view(key)];
            current.mergeWith(JSON(value), false);
            set({JSONSubscriptType(key)}, current);
        }
        return;
    }
    *this = other;
}

std::ostream& operator<<(std::ostream& out, JSON::Type type) {
    static const char* const names[] = {"number", "string", "bool", "array", "dictionary", "null", "unknown"};
    return out << names[static_cast<int>(type)];
}
