// JSON: the dynamically typed value every REST response is read through. It is parsed from bytes,
// navigated by key and index paths that never fail (a failing step yields null carrying the first
// JSONError met), read through forgiving typed accessors with neutral defaults, and written back
// out. A plain value used on one thread at a time; copies are cheap (raw storage is shared and
// copied on write) and independent.
//
// Names: properties read as `foo()` and write as `setFoo(v)`. Where the natural name is a C++
// keyword the optional accessor takes a trailing underscore: `bool_()`, `int_()`, `double_()`,
// `float_()`, and the instance `null_()` (the static `null()` is the null value). Each optional
// accessor has a non-optional partner ending in Value (`intValue()`, `boolValue()`, ...).
#pragma once

#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/URL.h"
#include "platform/object/Object.h"
#include "json/JSONError.h"
#include "json/JSONSubscriptType.h"
#include "json/JSONWritingOptions.h"

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <iosfwd>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace plat {
class Encoder;
class Decoder;
} // namespace plat

class JSON {
public:
    // The kind of a value; the raw values are stable.
    enum class Type : int {
        number = 0,
        string = 1,
        bool_ = 2,
        array = 3,
        dictionary = 4,
        null = 5,
        unknown = 6
    };
    // The kind for 0...6; none for any other integer.
    static std::optional<Type> typeFromRawValue(int64_t rawValue);

    class Index;
    class Iterator;
    using Element = std::pair<std::string, JSON>;

    // ---- Construction (JSON.cpp) ----

    // The null value, without error.
    JSON() = default;
    // Parses bytes; throws JSONException carrying the parser's error unchanged.
    JSON(const plat::Data& data, unsigned readingOptions);
    JSON(std::string_view bytes, unsigned readingOptions);
    // The general constructor: bytes are parsed (text that is not JSON gives null without error),
    // anything else is classified as `setObject` does.
    JSON(const plat::Object& object);
    JSON(const plat::Data& data);
    JSON(const plat::Number& number);
    // Every arithmetic type has its own exact overload, so a number keeps its width and only a
    // real bool becomes a boolean (a pointer or a string literal never does).
    template <typename T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, char>) JSON(T value) : JSON(plat::Object(value)) {}
    // A single character is text.
    JSON(char c) : JSON(plat::Object(std::string(1, c))) {}
    // A null pointer gives the null value.
    JSON(const char* text);
    JSON(std::string text);
    JSON(std::string_view text);
    JSON(std::nullptr_t) {}
    JSON(std::nullopt_t) {}
    JSON(plat::Array array);
    JSON(plat::Dict dictionary);
    // Containers of JSON store their elements' raw values (an element's error is not kept).
    JSON(const std::vector<JSON>& array);
    JSON(const std::map<std::string, JSON>& dictionary);
    // An empty optional gives the null value.
    template <typename T> JSON(const std::optional<T>& value) {
        if (value) *this = JSON(*value);
    }

    // Text parsed as JSON; text that is not JSON gives the null value without error.
    static JSON parseJSON(std::string_view text);
    // The null value (kind null, no error); `nullJSON()` is the same value.
    static const JSON& null();
    static const JSON& nullJSON() { return null(); }
    // Literal helpers: a list of values, and (key, value) pairs where a repeated key replaces the
    // earlier value.
    static JSON arrayLiteral(std::initializer_list<JSON> elements);
    static JSON dictionaryLiteral(std::initializer_list<std::pair<std::string, JSON>> elements);

    // ---- The raw value and its kind (JSON.cpp) ----

    // The raw value of the current kind; the null object for kinds null and unknown.
    plat::Object object() const;
    // Classifies a new raw value: clears the error, then bool numbers give bool, other numbers
    // number, text string, null and absent null, arrays array, dictionaries dictionary, and
    // anything else (bytes, dates, opaque values) unknown with unsupportedType.
    void setObject(const plat::Object& newValue);
    Type type() const { return type_; }
    const std::optional<JSONError>& error() const { return error_; }
    // True exactly when the value carries no error.
    bool exists() const { return !error_; }

    // Merges `other` in: arrays concatenate, dictionaries merge key by key at every depth, other
    // kinds take the argument. Throws JSONException(wrongType) and changes nothing when the kinds
    // differ at the top level.
    void merge(const JSON& other);
    JSON merged(const JSON& other) const;

    // ---- Path subscripts (JSONSubscripts.cpp) ----

    // One step. A failing step gives the null value carrying the error: the receiver's own error
    // when it has one, else wrongType, indexOutOfBounds or notExist.
    // Any integer type indexes (unsigned values beyond the signed range are out of bounds); a
    // char or bool is refused at compile time.
    template <std::integral I>
    requires(!std::is_same_v<I, bool> && !std::is_same_v<I, char>) JSON operator[](I index) const {
        return step(JSONSubscriptType(index).jsonKey());
    }
    JSON operator[](std::string_view key) const;
    // A whole path; the empty path gives the receiver. The first error met stays to the end.
    JSON operator[](std::initializer_list<JSONSubscriptType> path) const;
    JSON operator[](const std::vector<JSONSubscriptType>& path) const;
    JSON operator[](std::span<const JSONSubscriptType> path) const;
    // Stores `value`'s raw value at the path. Only the last element may be new (a key is added to
    // a dictionary); intermediate containers are never created, an index past the end never
    // appends, and a value carrying an error at an intermediate step makes it do nothing.
    void set(std::initializer_list<JSONSubscriptType> path, const JSON& value);
    void set(const std::vector<JSONSubscriptType>& path, const JSON& value);
    void set(std::span<const JSONSubscriptType> path, const JSON& value);
    // In-place change: reads the value at the path, lets `change` alter it and writes it back,
    // also when `change` leaves by an exception.
    template <typename F> void modify(const std::vector<JSONSubscriptType>& path, F&& change);

    // ---- Collection of (key, value) pairs (JSONCollection.cpp) ----

    // Arrays iterate their elements with keys "0", "1", ...; dictionaries their entries in key
    // order; every other kind is empty.
    Index startIndex() const;
    Index endIndex() const;
    Index index(const Index& after) const;
    void formIndex(Index& after) const;
    // Moves forward only: a negative offset leaves the index where it is.
    Index index(const Index& i, int64_t offsetBy) const;
    std::optional<Index> index(const Index& i, int64_t offsetBy, const Index& limitedBy) const;
    int64_t distance(const Index& from, const Index& to) const;
    // The pair at a position; ("", null) for the null index or a position of another value.
    Element operator[](const Index& position) const;
    std::vector<Index> indices() const;
    std::vector<Element> slice(const Index& from, const Index& to) const;
    size_t count() const;
    size_t underestimatedCount() const { return count(); }
    bool isEmpty() const { return count() == 0; }
    Iterator begin() const;
    Iterator end() const;

    // ---- Typed accessors (JSONAccessors.cpp) ----
    // Optional accessors give none for an unfitting kind; Value accessors convert where they can
    // and otherwise give a neutral default. Setters replace the whole value; none stores null.

    std::optional<std::vector<JSON>> array() const;
    std::vector<JSON> arrayValue() const;
    std::optional<plat::Array> arrayObject() const;
    void setArrayObject(std::optional<plat::Array> value);
    std::optional<std::map<std::string, JSON>> dictionary() const;
    std::map<std::string, JSON> dictionaryValue() const;
    std::optional<plat::Dict> dictionaryObject() const;
    void setDictionaryObject(std::optional<plat::Dict> value);

    // Bool: only kind bool. boolValue also reads numbers (non-zero) and the texts "true", "y",
    // "t", "yes", "1" ignoring case. The deleted overloads keep pointers and numbers out.
    std::optional<bool> bool_() const;
    void setBool(bool value);
    void setBool(std::nullopt_t);
    void setBool(const std::optional<bool>& value);
    template <typename T> void setBool(T) = delete;
    bool boolValue() const;
    void setBoolValue(bool value);
    template <typename T> void setBoolValue(T) = delete;

    std::optional<std::string> string() const;
    void setString(std::optional<std::string> value);
    void setString(std::nullptr_t) = delete;
    // Numbers give their decimal text, bools "true"/"false", other kinds "".
    std::string stringValue() const;
    void setStringValue(std::string value);

    // number(): kind number, or 1/0 for a bool; text is not parsed. numberValue(): also parses
    // text as a decimal number (0 when it does not begin with one); other kinds give 0.0.
    std::optional<plat::Number> number() const;
    void setNumber(std::optional<plat::Number> value);
    plat::Number numberValue() const;
    void setNumberValue(const plat::Number& value);

    // The null object for kind null; every assignment stores null.
    std::optional<plat::Object> null_() const;
    void setNull(const std::optional<plat::Object>& value);

    // Text as a URL: text holding %XX escapes is parsed as it is, other text is first
    // percent-encoded with the query-allowed set. The setter stores the URL's absolute text.
    std::optional<plat::URL> url() const;
    void setUrl(const std::optional<plat::URL>& value);

    // Numbers of every width. Optional forms: kind number (converted, saturating) or bool (1/0).
    // Value forms: numberValue() converted, so text is parsed and other kinds give 0.
    std::optional<double> double_() const;
    void setDouble(std::optional<double> value);
    double doubleValue() const;
    void setDoubleValue(double value);
    std::optional<float> float_() const;
    void setFloat(std::optional<float> value);
    float floatValue() const;
    void setFloatValue(float value);
    std::optional<int64_t> int_() const;
    void setInt(std::optional<int64_t> value);
    int64_t intValue() const;
    void setIntValue(int64_t value);
    std::optional<uint64_t> uInt() const;
    void setUInt(std::optional<uint64_t> value);
    uint64_t uIntValue() const;
    void setUIntValue(uint64_t value);
    // The int8 setters store a platform-width integer, so a stored 0 or 1 is never a bool.
    std::optional<int8_t> int8() const;
    void setInt8(std::optional<int8_t> value);
    int8_t int8Value() const;
    void setInt8Value(int8_t value);
    std::optional<uint8_t> uInt8() const;
    void setUInt8(std::optional<uint8_t> value);
    uint8_t uInt8Value() const;
    void setUInt8Value(uint8_t value);
    std::optional<int16_t> int16() const;
    void setInt16(std::optional<int16_t> value);
    int16_t int16Value() const;
    void setInt16Value(int16_t value);
    std::optional<uint16_t> uInt16() const;
    void setUInt16(std::optional<uint16_t> value);
    uint16_t uInt16Value() const;
    void setUInt16Value(uint16_t value);
    std::optional<int32_t> int32() const;
    void setInt32(std::optional<int32_t> value);
    int32_t int32Value() const;
    void setInt32Value(int32_t value);
    std::optional<uint32_t> uInt32() const;
    void setUInt32(std::optional<uint32_t> value);
    uint32_t uInt32Value() const;
    void setUInt32Value(uint32_t value);
    std::optional<int64_t> int64() const;
    void setInt64(std::optional<int64_t> value);
    int64_t int64Value() const;
    void setInt64Value(int64_t value);
    std::optional<uint64_t> uInt64() const;
    void setUInt64(std::optional<uint64_t> value);
    uint64_t uInt64Value() const;
    void setUInt64Value(uint64_t value);

    // ---- Raw output (JSON.cpp; the text itself is JSONTextWriter's) ----

    // The raw value of the current kind (a bool as a boolean Number; null for null and unknown).
    plat::Object rawValue() const;
    // The general constructor's value, or none when it is of kind unknown.
    static std::optional<JSON> fromRawValue(const plat::Object& rawValue);
    // Serialised bytes of an array or dictionary. Throws JSONException(invalidJSON) for anything
    // the serialiser cannot write, and the serialiser's own error unchanged.
    plat::Data rawData(unsigned writingOptions = plat::JSONSerialization::WritingNone) const;
    // Text: scalars as their plain text (a string without quotes), arrays and dictionaries through
    // the serialiser, or through the own writer when castNilToNSNull is true. None for unknown
    // values and failures; a depth budget below 1 also prints the reason on standard output.
    std::optional<std::string>
    rawString(StringEncoding encoding = StringEncoding::utf8,
              unsigned writingOptions = plat::JSONSerialization::PrettyPrinted) const;
    std::optional<std::string> rawString(const JSONWritingOptions& options) const;
    // rawString() with UTF-8 and pretty-printing, or "unknown".
    std::string description() const;

    // ---- Coding (JSON.cpp) ----

    // Never throws: whatever the decoder cannot give becomes the null value.
    static JSON decode(plat::Decoder& decoder);
    // Passes on the encoder's errors unchanged.
    void encode(plat::Encoder& encoder) const;

    // ---- Comparison (JSON.cpp) ----
    // Different kinds are never equal or ordered. Numbers compare by value, texts by canonical
    // equivalence and code-point order, bools/arrays/dictionaries/nulls only by equality (their
    // <= and >= mean ==), and unknown values compare false to everything, themselves included.
    friend bool operator==(const JSON& lhs, const JSON& rhs);
    friend bool operator<(const JSON& lhs, const JSON& rhs);
    friend bool operator<=(const JSON& lhs, const JSON& rhs);
    friend bool operator>(const JSON& lhs, const JSON& rhs);
    friend bool operator>=(const JSON& lhs, const JSON& rhs);

private:
    static JSON failure(JSONError error);
    JSON element(int64_t index) const;
    JSON step(const JSONKey& key) const;
    void setStep(const JSONKey& key, const JSON& value);
    void setIndex(int64_t index, const JSON& value);
    void setKey(const std::string& key, const JSON& value);
    void mergeWith(const JSON& other, bool typecheck);
    void parse(std::string_view bytes, unsigned readingOptions);

    // The raw value of the current kind; Object::null() for kinds null and unknown.
    plat::Object raw_ = plat::Object::null();
    Type type_ = Type::null;
    std::optional<JSONError> error_;
};

// A position in a JSON collection: an array offset, a dictionary position, or the one index of
// any other kind (JSONCollection.cpp). Valid for the value it came from while that value is unchanged.
class JSON::Index {
public:
    enum class Case : uint8_t { array, dictionary, null };

    Index() = default;
    Case kind() const { return case_; }
    // The array offset, or the ordinal of a dictionary position.
    int64_t offset() const { return offset_; }

    friend bool operator==(const Index& a, const Index& b);
    // Only two array indexes, or two dictionary indexes, are ordered.
    friend bool operator<(const Index& a, const Index& b);
    friend bool operator<=(const Index& a, const Index& b) { return a < b || a == b; }
    friend bool operator>(const Index& a, const Index& b) { return b < a; }
    friend bool operator>=(const Index& a, const Index& b) { return b < a || a == b; }

private:
    friend class JSON;
    Case case_ = Case::null;
    int64_t offset_ = 0;
    // A dictionary index keeps the storage it points into alive, so a stale index is detected
    // instead of dereferencing a dangling position.
    plat::Object owner_;
    plat::Dict::const_iterator position_{};
};

// Forward iteration over the (key, value) pairs.
class JSON::Iterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = JSON::Element;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = JSON::Element;

    Iterator() = default;
    Element operator*() const { return (*owner_)[index_]; }
    Iterator& operator++() {
        owner_->formIndex(index_);
        return *this;
    }
    Iterator operator++(int) {
        Iterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }

private:
    friend class JSON;
    Iterator(const JSON* owner, Index index) : owner_(owner), index_(std::move(index)) {}
    const JSON* owner_ = nullptr;
    Index index_;
};

template <typename F> void JSON::modify(const std::vector<JSONSubscriptType>& path, F&& change) {
    struct WriteBack {
        JSON& root;
        const std::vector<JSONSubscriptType>& path;
        JSON value;
        ~WriteBack() { root.set(path, value); }
    } writeBack{*this, path, (*this)[path]};
    change(writeBack.value);
}

std::ostream& operator<<(std::ostream& out, const JSON& value);
std::ostream& operator<<(std::ostream& out, JSON::Type type);
