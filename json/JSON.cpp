#include "json/JSON.h"

#include "platform/foundation/Coding.h"
#include "platform/foundation/Text.h"
#include "json/JSONTextWriter.h"

#include <cmath>
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

// One attempt of the decoder: the value when it decodes as T.
template <typename T> std::optional<JSON> attempt(const plat::SingleValueDecodingContainer& container) {
    try {
        return JSON(container.decode<T>());
    } catch (const plat::DecodingError&) {
        return std::nullopt;
    }
}

// Doubles that hold integers beyond 2^63 are written as unsigned integers up to 2^64.
constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

// Texts order by the code points of their canonical composition. UTF-8 byte order already is
// code-point order, so well-formed texts that normalisation cannot change are compared directly;
// malformed texts are compared as bytes, since reading them would merge different bad bytes into
// the same replacement character.
int compareText(const std::string& a, const std::string& b) {
    if (a == b) return 0;
    auto isASCII = [](const std::string& s) {
        for (char c : s) {
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        }
        return true;
    };
    if ((isASCII(a) && isASCII(b)) || !plat::text::isValidUTF8(a) || !plat::text::isValidUTF8(b)) {
        return a < b ? -1 : 1;
    }
    return plat::text::canonicalCompare(a, b);
}

// -1, 0 or 1 for ordered kinds; 0 also for equal bools, arrays, dictionaries and nulls; none when
// the two are neither equal nor ordered.
std::optional<int> compare(const JSON& lhs, const JSON& rhs) {
    if (lhs.type() != rhs.type()) return std::nullopt;
    const plat::Object a = lhs.rawValue();
    const plat::Object b = rhs.rawValue();
    switch (lhs.type()) {
    case JSON::Type::number:
        return a.number().compare(b.number());
    case JSON::Type::string:
        return compareText(a.string(), b.string());
    case JSON::Type::bool_:
        if (a.number().boolValue() == b.number().boolValue()) return 0;
        return std::nullopt;
    case JSON::Type::array:
    case JSON::Type::dictionary:
        if (a == b) return 0;
        return std::nullopt;
    case JSON::Type::null:
        return 0;
    case JSON::Type::unknown:
        return std::nullopt;
    }
    return std::nullopt;
}

// Only numbers and texts have an order beyond equality.
bool isOrdered(JSON::Type type) {
    return type == JSON::Type::number || type == JSON::Type::string;
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

// ---- Raw output ----

Object JSON::rawValue() const {
    return object();
}

std::optional<JSON> JSON::fromRawValue(const Object& rawValue) {
    JSON value(rawValue);
    if (value.type_ == Type::unknown) return std::nullopt;
    return value;
}

plat::Data JSON::rawData(unsigned writingOptions) const {
    const Object raw = rawValue();
    if (!plat::JSONSerialization::isValidJSONObject(raw)) throw JSONException(JSONError::invalidJSON);
    plat::Error error;
    std::optional<std::string> bytes = plat::JSONSerialization::data(raw, writingOptions, &error);
    if (!bytes) throw JSONException(std::move(error));
    return plat::Data(bytes->begin(), bytes->end());
}

std::optional<std::string> JSON::rawString(StringEncoding encoding, unsigned writingOptions) const {
    return JSONTextWriter::text(*this, encoding, writingOptions);
}

std::optional<std::string> JSON::rawString(const JSONWritingOptions& options) const {
    return JSONTextWriter::text(*this, options);
}

std::string JSON::description() const {
    return rawString(StringEncoding::utf8, plat::JSONSerialization::PrettyPrinted).value_or("unknown");
}

std::ostream& operator<<(std::ostream& out, const JSON& value) {
    return out << value.description();
}

// ---- Coding ----

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

// ---- Comparison ----

bool operator==(const JSON& lhs, const JSON& rhs) {
    return compare(lhs, rhs) == 0;
}

bool operator<(const JSON& lhs, const JSON& rhs) {
    std::optional<int> c = compare(lhs, rhs);
    return c && isOrdered(lhs.type()) && *c < 0;
}

bool operator<=(const JSON& lhs, const JSON& rhs) {
    std::optional<int> c = compare(lhs, rhs);
    return c && *c <= 0;
}

bool operator>(const JSON& lhs, const JSON& rhs) {
    std::optional<int> c = compare(lhs, rhs);
    return c && isOrdered(lhs.type()) && *c > 0;
}

bool operator>=(const JSON& lhs, const JSON& rhs) {
    std::optional<int> c = compare(lhs, rhs);
    return c && *c >= 0;
}
