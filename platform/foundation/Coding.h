// Coding: typed values to and from plat::Object through keyed, unkeyed and single-value
// containers, with coding paths and the platform's decoding and encoding errors (thrown as
// DecodingError / EncodingError). A type takes part by declaring
//     void encode(plat::Encoder& encoder) const;
//     static T decode(plat::Decoder& decoder);
// Booleans, integers of every width, float, double, std::string, plat::Object, std::optional,
// std::vector and std::map<std::string, T> are built in. ObjectEncoder/ObjectDecoder work on
// plat::Object values; JSONEncoder/JSONDecoder add JSON bytes through JSONSerialization.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace plat {

// One step of a coding path: a key of a keyed container, or a position in an unkeyed one (whose
// text is "Index N").
struct CodingKey {
    std::string stringValue;
    std::optional<int64_t> intValue;

    static CodingKey key(std::string_view key) { return CodingKey{std::string(key), std::nullopt}; }
    static CodingKey index(int64_t index) { return CodingKey{"Index " + std::to_string(index), index}; }
    bool operator==(const CodingKey&) const = default;
};

using CodingPath = std::vector<CodingKey>;

// The path as dotted text ("regions.Index 3.location"), for messages.
std::string describeCodingPath(const CodingPath& path);

// Where a coding error happened and why.
struct CodingErrorContext {
    CodingPath codingPath;
    std::string debugDescription;
    std::optional<Error> underlyingError;
};

// Thrown by decoding: the value had the wrong type, was null where a value was needed, a key was
// missing, or the data itself was unusable (unparsable bytes, a number that does not fit).
class DecodingError : public std::exception {
public:
    enum class Case { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    static DecodingError typeMismatch(std::string type, CodingErrorContext context);
    static DecodingError valueNotFound(std::string type, CodingErrorContext context);
    static DecodingError keyNotFound(CodingKey key, CodingErrorContext context);
    static DecodingError dataCorrupted(CodingErrorContext context);

    Case kind() const { return case_; }
    const CodingErrorContext& context() const { return context_; }
    // The expected type (typeMismatch, valueNotFound); empty otherwise.
    const std::string& typeName() const { return typeName_; }
    // The missing key (keyNotFound).
    const std::optional<CodingKey>& key() const { return key_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    DecodingError(Case c, std::string typeName, std::optional<CodingKey> key, CodingErrorContext context);
    Case case_;
    std::string typeName_;
    std::optional<CodingKey> key_;
    CodingErrorContext context_;
    std::string what_;
};

// Thrown by encoding: a value cannot be written (a non-finite number for JSON, a value encoded
// twice through one single-value container, containers of different kinds at one path).
class EncodingError : public std::exception {
public:
    enum class Case { invalidValue };

    static EncodingError invalidValue(std::string value, CodingErrorContext context);

    Case kind() const { return Case::invalidValue; }
    const CodingErrorContext& context() const { return context_; }
    // A short description of the value that could not be encoded.
    const std::string& value() const { return value_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    EncodingError(std::string value, CodingErrorContext context);
    std::string value_;
    CodingErrorContext context_;
    std::string what_;
};

class Decoder;
class Encoder;

// How a type decodes and encodes itself. The general case calls the type's own members; the
// built-in types are specialised below.
template <typename T, typename = void> struct Coding {
    static T decode(Decoder& decoder) { return T::decode(decoder); }
    static void encode(const T& value, Encoder& encoder) { value.encode(encoder); }
};

namespace coding_detail {

template <typename T> constexpr const char* typeName() {
    if constexpr (std::is_same_v<T, bool>)
        return "Bool";
    else if constexpr (std::is_same_v<T, float>)
        return "Float";
    else if constexpr (std::is_same_v<T, double>)
        return "Double";
    else if constexpr (std::is_same_v<T, std::string>)
        return "String";
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        if constexpr (sizeof(T) == 1)
            return "Int8";
        else if constexpr (sizeof(T) == 2)
            return "Int16";
        else if constexpr (sizeof(T) == 4)
            return "Int32";
        else
            return "Int64";
    } else if constexpr (std::is_integral_v<T>) {
        if constexpr (sizeof(T) == 1)
            return "UInt8";
        else if constexpr (sizeof(T) == 2)
            return "UInt16";
        else if constexpr (sizeof(T) == 4)
            return "UInt32";
        else
            return "UInt64";
    } else
        return "value";
}

template <typename T>
constexpr bool isPrimitive =
    std::is_arithmetic_v<T> || std::is_same_v<T, std::string> || std::is_same_v<T, Object>;

CodingPath appending(const CodingPath& path, CodingKey key);

// Primitive reads: each throws the fitting DecodingError for null, a wrong kind or a number that
// does not fit the type exactly.
bool decodeBool(const Object& value, const CodingPath& path);
int64_t decodeSigned(const Object& value, const CodingPath& path, int64_t min, int64_t max, const char* type);
uint64_t decodeUnsigned(const Object& value, const CodingPath& path, uint64_t max, const char* type);
double decodeDouble(const Object& value, const CodingPath& path);
float decodeFloat(const Object& value, const CodingPath& path);
std::string decodeString(const Object& value, const CodingPath& path);
Object decodeObject(const Object& value, const CodingPath& path);

struct EncoderOptions {
    // JSON cannot carry NaN or infinity; the JSON encoder refuses them where they are encoded.
    bool rejectNonConformingFloats = false;
};

// The mutable tree an encoder builds; turned into an Object once encoding is done.
struct EncodingNode {
    enum class Kind { empty, value, keyed, unkeyed };
    Kind kind = Kind::empty;
    Object value;
    std::map<std::string, std::shared_ptr<EncodingNode>, std::less<>> keyed;
    std::vector<std::shared_ptr<EncodingNode>> unkeyed;

    // An empty node (a value that encoded nothing) becomes an empty dictionary.
    Object toObject() const;
};

// Throws invalidValue for NaN or infinity when the options refuse them.
void checkFloat(double value, const CodingPath& path, const EncoderOptions& options);

template <typename T> T decodeValue(const Object& value, const CodingPath& path);
template <typename T>
void encodeValue(const std::shared_ptr<EncodingNode>& node, const CodingPath& path,
                 const EncoderOptions& options, const T& value);

} // namespace coding_detail

class KeyedDecodingContainer;
class UnkeyedDecodingContainer;
class SingleValueDecodingContainer;
class KeyedEncodingContainer;
class UnkeyedEncodingContainer;
class SingleValueEncodingContainer;

// What a type's `decode(Decoder&)` reads from. The containers read plat::Object values; a decoder
// that cannot give a container throws a DecodingError.
class Decoder {
public:
    virtual ~Decoder() = default;
    virtual const CodingPath& codingPath() const = 0;
    virtual KeyedDecodingContainer container() = 0;
    virtual UnkeyedDecodingContainer unkeyedContainer() = 0;
    virtual SingleValueDecodingContainer singleValueContainer() = 0;
};

// What a type's `encode(Encoder&)` writes to.
class Encoder {
public:
    virtual ~Encoder() = default;
    virtual const CodingPath& codingPath() const = 0;
    virtual KeyedEncodingContainer container() = 0;
    virtual UnkeyedEncodingContainer unkeyedContainer() = 0;
    virtual SingleValueEncodingContainer singleValueContainer() = 0;
};

// ---- Decoding containers ----

// Reads the entries of a dictionary.
class KeyedDecodingContainer {
public:
    KeyedDecodingContainer(Object dictionary, CodingPath path)
        : dictionary_(std::move(dictionary)), path_(std::move(path)) {}
    const CodingPath& codingPath() const { return path_; }
    std::vector<std::string> allKeys() const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // Whether the value under the key is null; throws keyNotFound when the key is missing.
    bool decodeNil(std::string_view key) const;
    // Throws keyNotFound for a missing key, valueNotFound for null, typeMismatch or
    // dataCorrupted for a value that does not fit T.
    template <typename T> T decode(std::string_view key) const {
        return coding_detail::decodeValue<T>(lookup(key),
                                             coding_detail::appending(path_, CodingKey::key(key)));
    }
    // None for a missing key or null; other failures throw as decode does.
    template <typename T> std::optional<T> decodeIfPresent(std::string_view key) const {
        const Object* value = find(key);
        if (!value || value->isNull() || value->isAbsent()) return std::nullopt;
        return coding_detail::decodeValue<T>(*value, coding_detail::appending(path_, CodingKey::key(key)));
    }
    KeyedDecodingContainer nestedContainer(std::string_view key) const;
    UnkeyedDecodingContainer nestedUnkeyedContainer(std::string_view key) const;

private:
    const Object* find(std::string_view key) const;
    const Object& lookup(std::string_view key) const;
    Object dictionary_;
    CodingPath path_;
};

// Reads the elements of an array in order; a successful decode moves to the next element.
class UnkeyedDecodingContainer {
public:
    UnkeyedDecodingContainer(Object array, CodingPath path)
        : array_(std::move(array)), path_(std::move(path)) {}
    const CodingPath& codingPath() const { return path_; }
    std::optional<size_t> count() const { return array_.array().size(); }
    bool isAtEnd() const { return currentIndex_ >= array_.array().size(); }
    size_t currentIndex() const { return currentIndex_; }
    // True (and moves on) when the current element is null; throws valueNotFound at the end.
    bool decodeNil();
    template <typename T> T decode() {
        const Object& value = current(coding_detail::typeName<T>());
        T result = coding_detail::decodeValue<T>(value, elementPath());
        ++currentIndex_;
        return result;
    }
    // None at the end or for a null element (which is consumed).
    template <typename T> std::optional<T> decodeIfPresent() {
        if (isAtEnd() || decodeNil()) return std::nullopt;
        return decode<T>();
    }
    KeyedDecodingContainer nestedContainer();
    UnkeyedDecodingContainer nestedUnkeyedContainer();

private:
    const Object& current(const char* type) const;
    CodingPath elementPath() const {
        return coding_detail::appending(path_, CodingKey::index(static_cast<int64_t>(currentIndex_)));
    }
    Object array_;
    CodingPath path_;
    size_t currentIndex_ = 0;
};

// Reads one value.
class SingleValueDecodingContainer {
public:
    SingleValueDecodingContainer(Object value, CodingPath path)
        : value_(std::move(value)), path_(std::move(path)) {}
    const CodingPath& codingPath() const { return path_; }
    bool decodeNil() const { return value_.isNull() || value_.isAbsent(); }
    template <typename T> T decode() const { return coding_detail::decodeValue<T>(value_, path_); }

private:
    Object value_;
    CodingPath path_;
};

// ---- Encoding containers ----

// Writes entries of a dictionary. Encoding a key again replaces its value.
class KeyedEncodingContainer {
public:
    KeyedEncodingContainer(std::shared_ptr<coding_detail::EncodingNode> node, CodingPath path,
                           coding_detail::EncoderOptions options)
        : node_(std::move(node)), path_(std::move(path)), options_(options) {}
    const CodingPath& codingPath() const { return path_; }
    template <typename T> void encode(const T& value, std::string_view key) {
        coding_detail::encodeValue(child(key), coding_detail::appending(path_, CodingKey::key(key)), options_,
                                   value);
    }
    void encode(const char* value, std::string_view key) { encode(std::string(value ? value : ""), key); }
    // Writes nothing for none.
    template <typename T> void encodeIfPresent(const std::optional<T>& value, std::string_view key) {
        if (value) encode(*value, key);
    }
    void encodeNil(std::string_view key);
    KeyedEncodingContainer nestedContainer(std::string_view key);
    UnkeyedEncodingContainer nestedUnkeyedContainer(std::string_view key);

private:
    std::shared_ptr<coding_detail::EncodingNode> child(std::string_view key);
    std::shared_ptr<coding_detail::EncodingNode> node_;
    CodingPath path_;
    coding_detail::EncoderOptions options_;
};

// Appends elements to an array.
class UnkeyedEncodingContainer {
public:
    UnkeyedEncodingContainer(std::shared_ptr<coding_detail::EncodingNode> node, CodingPath path,
                             coding_detail::EncoderOptions options)
        : node_(std::move(node)), path_(std::move(path)), options_(options) {}
    const CodingPath& codingPath() const { return path_; }
    size_t count() const { return node_->unkeyed.size(); }
    template <typename T> void encode(const T& value) {
        CodingPath path = coding_detail::appending(path_, CodingKey::index(static_cast<int64_t>(count())));
        coding_detail::encodeValue(append(), path, options_, value);
    }
    void encode(const char* value) { encode(std::string(value ? value : "")); }
    void encodeNil();
    KeyedEncodingContainer nestedContainer();
    UnkeyedEncodingContainer nestedUnkeyedContainer();

private:
    std::shared_ptr<coding_detail::EncodingNode> append();
    std::shared_ptr<coding_detail::EncodingNode> node_;
    CodingPath path_;
    coding_detail::EncoderOptions options_;
};

// Writes one value; a second value through the same container throws invalidValue.
class SingleValueEncodingContainer {
public:
    SingleValueEncodingContainer(std::shared_ptr<coding_detail::EncodingNode> node, CodingPath path,
                                 coding_detail::EncoderOptions options)
        : node_(std::move(node)), path_(std::move(path)), options_(options) {}
    const CodingPath& codingPath() const { return path_; }
    void encodeNil();
    template <typename T> void encode(const T& value) {
        claim();
        coding_detail::encodeValue(node_, path_, options_, value);
    }
    void encode(const char* value) { encode(std::string(value ? value : "")); }

private:
    void claim() const;
    std::shared_ptr<coding_detail::EncodingNode> node_;
    CodingPath path_;
    coding_detail::EncoderOptions options_;
};

namespace coding_detail {

// The decoder handed to a type's decode: one value at one path.
class ObjectValueDecoder final : public Decoder {
public:
    ObjectValueDecoder(Object value, CodingPath path) : value_(std::move(value)), path_(std::move(path)) {}
    const CodingPath& codingPath() const override { return path_; }
    KeyedDecodingContainer container() override;
    UnkeyedDecodingContainer unkeyedContainer() override;
    SingleValueDecodingContainer singleValueContainer() override {
        return SingleValueDecodingContainer(value_, path_);
    }

private:
    Object value_;
    CodingPath path_;
};

// The encoder handed to a type's encode: one node at one path.
class NodeEncoder final : public Encoder {
public:
    NodeEncoder(std::shared_ptr<EncodingNode> node, CodingPath path, EncoderOptions options)
        : node_(std::move(node)), path_(std::move(path)), options_(options) {}
    const CodingPath& codingPath() const override { return path_; }
    KeyedEncodingContainer container() override;
    UnkeyedEncodingContainer unkeyedContainer() override;
    SingleValueEncodingContainer singleValueContainer() override {
        return SingleValueEncodingContainer(node_, path_, options_);
    }

private:
    std::shared_ptr<EncodingNode> node_;
    CodingPath path_;
    EncoderOptions options_;
};

template <typename T> T decodeValue(const Object& value, const CodingPath& path) {
    if constexpr (std::is_same_v<T, bool>)
        return decodeBool(value, path);
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
        return static_cast<T>(decodeSigned(value, path, std::numeric_limits<T>::min(),
                                           std::numeric_limits<T>::max(), typeName<T>()));
    else if constexpr (std::is_integral_v<T>)
        return static_cast<T>(decodeUnsigned(value, path, std::numeric_limits<T>::max(), typeName<T>()));
    else if constexpr (std::is_same_v<T, float>)
        return decodeFloat(value, path);
    else if constexpr (std::is_same_v<T, double>)
        return decodeDouble(value, path);
    else if constexpr (std::is_same_v<T, std::string>)
        return decodeString(value, path);
    else if constexpr (std::is_same_v<T, Object>)
        return decodeObject(value, path);
    else {
        ObjectValueDecoder decoder(value, path);
        return Coding<T>::decode(decoder);
    }
}

template <typename T>
void encodeValue(const std::shared_ptr<EncodingNode>& node, const CodingPath& path,
                 const EncoderOptions& options, const T& value) {
    if constexpr (isPrimitive<T>) {
        if constexpr (std::is_floating_point_v<T>) checkFloat(static_cast<double>(value), path, options);
        node->kind = EncodingNode::Kind::value;
        node->value = Object(value);
    } else {
        NodeEncoder encoder(node, path, options);
        Coding<T>::encode(value, encoder);
    }
}

Object parseForDecoding(std::string_view bytes);
Data serializeEncoded(const Object& object, unsigned outputFormatting);

} // namespace coding_detail

// ---- Built-in composite types ----

template <typename T> struct Coding<std::optional<T>, void> {
    static std::optional<T> decode(Decoder& decoder) {
        SingleValueDecodingContainer container = decoder.singleValueContainer();
        if (container.decodeNil()) return std::nullopt;
        return container.decode<T>();
    }
    static void encode(const std::optional<T>& value, Encoder& encoder) {
        SingleValueEncodingContainer container = encoder.singleValueContainer();
        if (value)
            container.encode(*value);
        else
            container.encodeNil();
    }
};

template <typename T, typename A> struct Coding<std::vector<T, A>, void> {
    static std::vector<T, A> decode(Decoder& decoder) {
        UnkeyedDecodingContainer container = decoder.unkeyedContainer();
        std::vector<T, A> result;
        result.reserve(container.count().value_or(0));
        while (!container.isAtEnd())
            result.push_back(container.decode<T>());
        return result;
    }
    static void encode(const std::vector<T, A>& value, Encoder& encoder) {
        UnkeyedEncodingContainer container = encoder.unkeyedContainer();
        for (auto&& element : value)
            container.encode(static_cast<const T&>(element));
    }
};

template <typename T, typename C, typename A> struct Coding<std::map<std::string, T, C, A>, void> {
    static std::map<std::string, T, C, A> decode(Decoder& decoder) {
        KeyedDecodingContainer container = decoder.container();
        std::map<std::string, T, C, A> result;
        for (const std::string& key : container.allKeys())
            result.emplace(key, container.decode<T>(key));
        return result;
    }
    static void encode(const std::map<std::string, T, C, A>& value, Encoder& encoder) {
        KeyedEncodingContainer container = encoder.container();
        for (const auto& [key, element] : value)
            container.encode(element, key);
    }
};

// ---- Entry points ----

// Typed values to plat::Object.
class ObjectEncoder {
public:
    // Throws EncodingError (also when the value encodes nothing at all).
    template <typename T> Object encode(const T& value) const {
        auto root = std::make_shared<coding_detail::EncodingNode>();
        coding_detail::encodeValue(root, {}, options_, value);
        if (root->kind == coding_detail::EncodingNode::Kind::empty) {
            throw EncodingError::invalidValue(
                coding_detail::typeName<T>(),
                CodingErrorContext{{}, "Top-level value did not encode any values.", {}});
        }
        return root->toObject();
    }

protected:
    coding_detail::EncoderOptions options_;
};

// plat::Object to typed values.
class ObjectDecoder {
public:
    // Throws DecodingError.
    template <typename T> T decode(const Object& value) const {
        return coding_detail::decodeValue<T>(value, {});
    }
};

// Typed values to JSON bytes (top-level scalars allowed). NaN and infinity are refused.
class JSONEncoder {
public:
    unsigned outputFormatting() const { return outputFormatting_; }
    // JSONSerialization writing options, e.g. PrettyPrinted.
    void setOutputFormatting(unsigned options) { outputFormatting_ = options; }
    template <typename T> Data encode(const T& value) const {
        return coding_detail::serializeEncoded(JSONObjectEncoder().encode(value), outputFormatting_);
    }

private:
    struct JSONObjectEncoder : ObjectEncoder {
        JSONObjectEncoder() { options_.rejectNonConformingFloats = true; }
    };
    unsigned outputFormatting_ = 0;
};

// JSON bytes to typed values. Bytes that are not JSON throw dataCorrupted with the parser's error
// as the underlying error.
class JSONDecoder {
public:
    template <typename T> T decode(std::string_view bytes) const {
        return ObjectDecoder().decode<T>(coding_detail::parseForDecoding(bytes));
    }
    template <typename T> T decode(const Data& bytes) const {
        return decode<T>(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
};

} // namespace plat
