// A typed number: the value plus the width it was made with, so a boolean stays distinguishable
// from the integers 0 and 1 and conversions between widths are defined for every input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class Number {
public:
    enum class Type : uint8_t {
        Bool,
        Int8,
        Int16,
        Int32,
        Int64,
        UInt8,
        UInt16,
        UInt32,
        UInt64,
        Float,
        Double,
        Decimal
    };

    Number() : type_(Type::Int64) { v_.i = 0; }
    // One constructor per width; none of them converts implicitly from a pointer.
    explicit Number(bool v) : type_(Type::Bool) { v_.i = v ? 1 : 0; }
    Number(int8_t v) : type_(Type::Int8) { v_.i = v; }
    Number(int16_t v) : type_(Type::Int16) { v_.i = v; }
    Number(int32_t v) : type_(Type::Int32) { v_.i = v; }
    Number(long v) : type_(Type::Int64) { v_.i = v; }
    Number(long long v) : type_(Type::Int64) { v_.i = v; }
    Number(uint8_t v) : type_(Type::UInt8) { v_.u = v; }
    Number(uint16_t v) : type_(Type::UInt16) { v_.u = v; }
    Number(uint32_t v) : type_(Type::UInt32) { v_.u = v; }
    Number(unsigned long v) : type_(Type::UInt64) { v_.u = v; }
    Number(unsigned long long v) : type_(Type::UInt64) { v_.u = v; }
    Number(float v) : type_(Type::Float) { v_.d = v; }
    Number(double v) : type_(Type::Double) { v_.d = v; }
    Number(const char*) = delete;

    // A decimal number parsed from text ("12.50", "-3e4"); none when the text is not a number.
    static std::optional<Number> decimal(std::string_view text);
    // A decimal number with the given value.
    static Number decimal(double value);

    Type type() const { return type_; }
    // The platform type code: "B" for booleans, "c" "s" "i" "q" for signed widths, "C" "S" "I" "Q"
    // for unsigned ones, "f" for float and "d" for double and decimal.
    const char* typeCode() const;
    bool isBool() const { return type_ == Type::Bool; }
    bool isInteger() const { return type_ != Type::Float && type_ != Type::Double && type_ != Type::Decimal; }
    bool isUnsigned() const;
    bool isFloatingPoint() const { return !isInteger(); }

    // Conversions. Floating-point values are truncated toward zero and saturate at the target's
    // range; NaN converts to 0. Integer conversions between widths saturate too.
    bool boolValue() const;
    int8_t int8Value() const { return static_cast<int8_t>(clampSigned(INT8_MIN, INT8_MAX)); }
    int16_t int16Value() const { return static_cast<int16_t>(clampSigned(INT16_MIN, INT16_MAX)); }
    int32_t int32Value() const { return static_cast<int32_t>(clampSigned(INT32_MIN, INT32_MAX)); }
    int64_t int64Value() const { return clampSigned(INT64_MIN, INT64_MAX); }
    uint8_t uint8Value() const { return static_cast<uint8_t>(clampUnsigned(UINT8_MAX)); }
    uint16_t uint16Value() const { return static_cast<uint16_t>(clampUnsigned(UINT16_MAX)); }
    uint32_t uint32Value() const { return static_cast<uint32_t>(clampUnsigned(UINT32_MAX)); }
    uint64_t uint64Value() const { return clampUnsigned(UINT64_MAX); }
    float floatValue() const { return static_cast<float>(doubleValue()); }
    double doubleValue() const;

    // Decimal text: integers exactly, booleans as "1"/"0", floating values in the shortest form
    // that reads back to the same value ("0.1", "1", "1e+21", "nan", "inf").
    std::string stringValue() const;

    // Orders by numeric value across all types, exactly (a uint64 above 2^63 is greater than any
    // int64; 2^53 + 1 as an integer is greater than the double 2^53). NaN sorts below every other
    // value and equals NaN. Returns -1, 0 or 1.
    int compare(const Number& other) const;
    bool operator==(const Number& other) const { return compare(other) == 0; }
    bool operator<(const Number& other) const { return compare(other) < 0; }

private:
    int64_t clampSigned(int64_t lo, int64_t hi) const;
    uint64_t clampUnsigned(uint64_t hi) const;

    Type type_;
    union {
        int64_t i;
        uint64_t u;
        double d;
    } v_;
};

// Saturating double-to-integer conversions, shared by everything that narrows a double.
int64_t saturatingInt64(double v);
uint64_t saturatingUInt64(double v);

} // namespace plat
