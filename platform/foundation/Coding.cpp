#include "platform/foundation/Coding.h"

#include "platform/foundation/JSONSerialization.h"

#include <cfloat>
#include <cmath>

namespace plat {

std::string describeCodingPath(const CodingPath& path) {
    std::string text;
    for (const CodingKey& key : path) {
        if (!text.empty()) text.push_back('.');
        text += key.stringValue;
    }
    return text;
}

namespace {

const char* caseName(DecodingError::Case c) {
    switch (c) {
    case DecodingError::Case::typeMismatch:
        return "typeMismatch";
    case DecodingError::Case::valueNotFound:
        return "valueNotFound";
    case DecodingError::Case::keyNotFound:
        return "keyNotFound";
    case DecodingError::Case::dataCorrupted:
        return "dataCorrupted";
    }
    return "?";
}

std::string whatText(const char* name, const CodingErrorContext& context) {
    std::string text = std::string(name) + ": " + context.debugDescription;
    if (!context.codingPath.empty()) text += " (at " + describeCodingPath(context.codingPath) + ")";
    return text;
}

} // namespace

DecodingError::DecodingError(Case c, std::string typeName, std::optional<CodingKey> key,
                             CodingErrorContext context)
    : case_(c), typeName_(std::move(typeName)), key_(std::move(key)), context_(std::move(context)),
      what_(whatText(caseName(c), context_)) {}

DecodingError DecodingError::typeMismatch(std::string type, CodingErrorContext context) {
    return DecodingError(Case::typeMismatch, std::move(type), std::nullopt, std::move(context));
}
DecodingError DecodingError::valueNotFound(std::string type, CodingErrorContext context) {
    return DecodingError(Case::valueNotFound, std::move(type), std::nullopt, std::move(context));
}
DecodingError DecodingError::keyNotFound(CodingKey key, CodingErrorContext context) {
    return DecodingError(Case::keyNotFound, std::string(), std::move(key), std::move(context));
}
DecodingError DecodingError::dataCorrupted(CodingErrorContext context) {
    return DecodingError(Case::dataCorrupted, std::string(), std::nullopt, std::move(context));
}

EncodingError::EncodingError(std::string value, CodingErrorContext context)
    : value_(std::move(value)), context_(std::move(context)), what_(whatText("invalidValue", context_)) {}

EncodingError EncodingError::invalidValue(std::string value, CodingErrorContext context) {
    return EncodingError(std::move(value), std::move(context));
}

namespace coding_detail {

CodingPath appending(const CodingPath& path, CodingKey key) {
    CodingPath result;
    result.reserve(path.size() + 1);
    result = path;
    result.push_back(std::move(key));
    return result;
}

namespace {

std::string describeFound(const Object& value) {
    switch (value.kind()) {
    case Object::Kind::Absent:
    case Object::Kind::Null:
        return "null";
    case Object::Kind::Number:
        return value.number().isBool() ? "a boolean" : "a number";
    case Object::Kind::String:
        return "a string";
    case Object::Kind::Data:
        return "data";
    case Object::Kind::Date:
        return "a date";
    case Object::Kind::Array:
        return "an array";
    case Object::Kind::Dict:
        return "a dictionary";
    case Object::Kind::Opaque:
        return "an unsupported value";
    }
    return "an unsupported value";
}

[[noreturn]] void mismatch(const std::string& type, const Object& value, const CodingPath& path) {
    throw DecodingError::typeMismatch(
        type,
        CodingErrorContext{
            path, "Expected to decode " + type + " but found " + describeFound(value) + " instead.", {}});
}

void requireValue(const Object& value, const std::string& type, const CodingPath& path) {
    if (value.isNull() || value.isAbsent()) {
        throw DecodingError::valueNotFound(
            type, CodingErrorContext{path, "Expected " + type + " value but found null instead.", {}});
    }
}

// A number that is not a boolean; booleans never decode as numbers.
const Number& requireNumber(const Object& value, const char* type, const CodingPath& path) {
    requireValue(value, type, path);
    if (!value.isNumber() || value.number().isBool()) mismatch(type, value, path);
    return value.number();
}

[[noreturn]] void doesNotFit(const Number& number, const char* type, const CodingPath& path) {
    throw DecodingError::dataCorrupted(CodingErrorContext{
        path, "Parsed JSON number <" + number.stringValue() + "> does not fit in " + type + ".", {}});
}

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

} // namespace

bool decodeBool(const Object& value, const CodingPath& path) {
    requireValue(value, "Bool", path);
    if (!value.isNumber() || !value.number().isBool()) mismatch("Bool", value, path);
    return value.number().boolValue();
}

int64_t decodeSigned(const Object& value, const CodingPath& path, int64_t min, int64_t max,
                     const char* type) {
    const Number& n = requireNumber(value, type, path);
    int64_t result;
    if (n.isInteger()) {
        if (n.isUnsigned() && n.uint64Value() > static_cast<uint64_t>(INT64_MAX)) doesNotFit(n, type, path);
        result = n.int64Value();
    } else {
        // Only an integral value inside the signed 64-bit range converts exactly.
        double d = n.doubleValue();
        if (!(d == std::trunc(d)) || d < -kTwo63 || d >= kTwo63) doesNotFit(n, type, path);
        result = static_cast<int64_t>(d);
    }
    if (result < min || result > max) doesNotFit(n, type, path);
    return result;
}

uint64_t decodeUnsigned(const Object& value, const CodingPath& path, uint64_t max, const char* type) {
    const Number& n = requireNumber(value, type, path);
    uint64_t result;
    if (n.isInteger()) {
        if (!n.isUnsigned() && n.int64Value() < 0) doesNotFit(n, type, path);
        result = n.uint64Value();
    } else {
        double d = n.doubleValue();
        if (!(d == std::trunc(d)) || d < 0 || d >= kTwo64) doesNotFit(n, type, path);
        result = static_cast<uint64_t>(d);
    }
    if (result > max) doesNotFit(n, type, path);
    return result;
}

double decodeDouble(const Object& value, const CodingPath& path) {
    return requireNumber(value, "Double", path).doubleValue();
}

float decodeFloat(const Object& value, const CodingPath& path) {
    const Number& n = requireNumber(value, "Float", path);
    double d = n.doubleValue();
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) doesNotFit(n, "Float", path);
    return static_cast<float>(d);
}

std::string decodeString(const Object& value, const CodingPath& path) {
    requireValue(value, "String", path);
    if (!value.isString()) mismatch("String", value, path);
    return value.string();
}

Object decodeObject(const Object& value, const CodingPath&) {
    return value;
}

namespace {

KeyedDecodingContainer keyedContainer(const Object& value, const CodingPath& path) {
    // Never destroyed: a worker may still be decoding while the process exits.
    static const std::string& type = *new std::string("Dictionary<String, Any>");
    if (value.isNull() || value.isAbsent()) {
        throw DecodingError::valueNotFound(
            type,
            CodingErrorContext{path, "Cannot get keyed decoding container -- found null value instead.", {}});
    }
    if (!value.isDict()) mismatch(type, value, path);
    return KeyedDecodingContainer(value, path);
}

UnkeyedDecodingContainer unkeyedContainer(const Object& value, const CodingPath& path) {
    // Never destroyed: a worker may still be decoding while the process exits.
    static const std::string& type = *new std::string("Array<Any>");
    if (value.isNull() || value.isAbsent()) {
        throw DecodingError::valueNotFound(
            type, CodingErrorContext{
                      path, "Cannot get unkeyed decoding container -- found null value instead.", {}});
    }
    if (!value.isArray()) mismatch(type, value, path);
    return UnkeyedDecodingContainer(value, path);
}

} // namespace

KeyedDecodingContainer ObjectValueDecoder::container() {
    return keyedContainer(value_, path_);
}
UnkeyedDecodingContainer ObjectValueDecoder::unkeyedContainer() {
    return coding_detail::unkeyedContainer(value_, path_);
}

void checkFloat(double value, const CodingPath& path, const EncoderOptions& options) {
    if (!options.rejectNonConformingFloats || std::isfinite(value)) return;
    std::string text =
        std::isnan(value) ? "Double.nan" : (value > 0 ? "Double.infinity" : "-Double.infinity");
    throw EncodingError::invalidValue(
        text, CodingErrorContext{path, "Unable to encode " + text + " directly in JSON.", {}});
}

Object EncodingNode::toObject() const {
    switch (kind) {
    case Kind::empty:
        return Object(Object::Dict{});
    case Kind::value:
        return value;
    case Kind::keyed: {
        Object::Dict entries;
        for (const auto& [key, node] : keyed)
            entries.emplace_hint(entries.end(), key, node->toObject());
        return Object(std::move(entries));
    }
    case Kind::unkeyed: {
        Object::Array elements;
        elements.reserve(unkeyed.size());
        for (const auto& node : unkeyed)
            elements.push_back(node->toObject());
        return Object(std::move(elements));
    }
    }
    return Object();
}

namespace {

// Turns the node into a container of `kind`, or refuses when something else is already there.
void becomeContainer(EncodingNode& node, EncodingNode::Kind kind, const CodingPath& path) {
    if (node.kind == EncodingNode::Kind::empty) node.kind = kind;
    if (node.kind == kind) return;
    throw EncodingError::invalidValue(
        "container", CodingErrorContext{path,
                                        "Attempt to push a new container when a different value was already "
                                        "encoded at this path.",
                                        {}});
}

} // namespace

KeyedEncodingContainer NodeEncoder::container() {
    becomeContainer(*node_, EncodingNode::Kind::keyed, path_);
    return KeyedEncodingContainer(node_, path_, options_);
}

UnkeyedEncodingContainer NodeEncoder::unkeyedContainer() {
    becomeContainer(*node_, EncodingNode::Kind::unkeyed, path_);
    return UnkeyedEncodingContainer(node_, path_, options_);
}

Object parseForDecoding(std::string_view bytes) {
    Error error;
    Object object = JSONSerialization::jsonObject(bytes, JSONSerialization::FragmentsAllowed, &error);
    if (object.isAbsent()) {
        throw DecodingError::dataCorrupted(
            CodingErrorContext{{}, "The given data was not valid JSON.", error});
    }
    return object;
}

Data serializeEncoded(const Object& object, unsigned outputFormatting) {
    Error error;
    std::optional<std::string> bytes = JSONSerialization::data(
        object, outputFormatting | JSONSerialization::FragmentsAllowedWriting, &error);
    if (!bytes) {
        throw EncodingError::invalidValue(
            "value", CodingErrorContext{{}, "Unable to encode the value as JSON.", error});
    }
    return Data(bytes->begin(), bytes->end());
}

} // namespace coding_detail

std::vector<std::string> KeyedDecodingContainer::allKeys() const {
    std::vector<std::string> keys;
    keys.reserve(dictionary_.dict().size());
    for (const auto& entry : dictionary_.dict())
        keys.push_back(entry.first);
    return keys;
}

const Object* KeyedDecodingContainer::find(std::string_view key) const {
    const Object::Dict& entries = dictionary_.dict();
    auto found = entries.find(key);
    return found == entries.end() ? nullptr : &found->second;
}

const Object& KeyedDecodingContainer::lookup(std::string_view key) const {
    if (const Object* value = find(key)) return *value;
    throw DecodingError::keyNotFound(
        CodingKey::key(key),
        CodingErrorContext{path_, "No value associated with key \"" + std::string(key) + "\".", {}});
}

bool KeyedDecodingContainer::decodeNil(std::string_view key) const {
    const Object& value = lookup(key);
    return value.isNull() || value.isAbsent();
}

KeyedDecodingContainer KeyedDecodingContainer::nestedContainer(std::string_view key) const {
    return coding_detail::keyedContainer(lookup(key), coding_detail::appending(path_, CodingKey::key(key)));
}

UnkeyedDecodingContainer KeyedDecodingContainer::nestedUnkeyedContainer(std::string_view key) const {
    return coding_detail::unkeyedContainer(lookup(key), coding_detail::appending(path_, CodingKey::key(key)));
}

const Object& UnkeyedDecodingContainer::current(const char* type) const {
    if (isAtEnd()) {
        throw DecodingError::valueNotFound(
            type, CodingErrorContext{elementPath(), "Unkeyed container is at end.", {}});
    }
    return array_.array()[currentIndex_];
}

bool UnkeyedDecodingContainer::decodeNil() {
    const Object& value = current("Any");
    if (!value.isNull() && !value.isAbsent()) return false;
    ++currentIndex_;
    return true;
}

KeyedDecodingContainer UnkeyedDecodingContainer::nestedContainer() {
    KeyedDecodingContainer nested =
        coding_detail::keyedContainer(current("Dictionary<String, Any>"), elementPath());
    ++currentIndex_;
    return nested;
}

UnkeyedDecodingContainer UnkeyedDecodingContainer::nestedUnkeyedContainer() {
    UnkeyedDecodingContainer nested = coding_detail::unkeyedContainer(current("Array<Any>"), elementPath());
    ++currentIndex_;
    return nested;
}

std::shared_ptr<coding_detail::EncodingNode> KeyedEncodingContainer::child(std::string_view key) {
    auto node = std::make_shared<coding_detail::EncodingNode>();
    node_->keyed.insert_or_assign(std::string(key), node);
    return node;
}

void KeyedEncodingContainer::encodeNil(std::string_view key) {
    encode(Object::null(), key);
}

KeyedEncodingContainer KeyedEncodingContainer::nestedContainer(std::string_view key) {
    auto node = child(key);
    node->kind = coding_detail::EncodingNode::Kind::keyed;
    return KeyedEncodingContainer(node, coding_detail::appending(path_, CodingKey::key(key)), options_);
}

UnkeyedEncodingContainer KeyedEncodingContainer::nestedUnkeyedContainer(std::string_view key) {
    auto node = child(key);
    node->kind = coding_detail::EncodingNode::Kind::unkeyed;
    return UnkeyedEncodingContainer(node, coding_detail::appending(path_, CodingKey::key(key)), options_);
}

std::shared_ptr<coding_detail::EncodingNode> UnkeyedEncodingContainer::append() {
    node_->unkeyed.push_back(std::make_shared<coding_detail::EncodingNode>());
    return node_->unkeyed.back();
}

void UnkeyedEncodingContainer::encodeNil() {
    encode(Object::null());
}

KeyedEncodingContainer UnkeyedEncodingContainer::nestedContainer() {
    CodingPath path = coding_detail::appending(path_, CodingKey::index(static_cast<int64_t>(count())));
    auto node = append();
    node->kind = coding_detail::EncodingNode::Kind::keyed;
    return KeyedEncodingContainer(node, std::move(path), options_);
}

UnkeyedEncodingContainer UnkeyedEncodingContainer::nestedUnkeyedContainer() {
    CodingPath path = coding_detail::appending(path_, CodingKey::index(static_cast<int64_t>(count())));
    auto node = append();
    node->kind = coding_detail::EncodingNode::Kind::unkeyed;
    return UnkeyedEncodingContainer(node, std::move(path), options_);
}

void SingleValueEncodingContainer::claim() const {
    if (node_->kind == coding_detail::EncodingNode::Kind::empty) return;
    throw EncodingError::invalidValue(
        "value", CodingErrorContext{path_,
                                    "Attempt to encode value through single value container when previously "
                                    "value already encoded.",
                                    {}});
}

void SingleValueEncodingContainer::encodeNil() {
    encode(Object::null());
}

} // namespace plat
