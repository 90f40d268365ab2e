#include "platform/object/Number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace plat {

int64_t saturatingInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775808.0) return INT64_MAX;
    if (v < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(v);
}

uint64_t saturatingUInt64(double v) {
    if (std::isnan(v) || v <= 0) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

std::optional<Number> Number::decimal(std::string_view text) {
    // Accept what a decimal number reads: optional sign, digits, optional fraction and exponent.
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
        ++i;
    std::string_view t = text.substr(i);
    if (t.empty()) return std::nullopt;
    std::string_view body = (t[0] == '+' || t[0] == '-') ? t.substr(1) : t;
    if (body.empty() || !(std::isdigit(static_cast<unsigned char>(body[0])) || body[0] == '.'))
        return std::nullopt;
    double value = 0;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    auto [ptr, ec] = std::from_chars(begin, t.data() + t.size(), value, std::chars_format::general);
    if (ptr == begin) return std::nullopt;
    if (ec == std::errc::result_out_of_range) value = std::strtod(std::string(begin, ptr).c_str(), nullptr);
    return decimal(value);
}

Number Number::decimal(double value) {
    Number n(value);
    n.type_ = Type::Decimal;
    return n;
}

const char* Number::typeCode() const {
    switch (type_) {
    case Type::Bool:
        return "B";
    case Type::Int8:
        return "c";
    case Type::Int16:
        return "s";
    case Type::Int32:
        return "i";
    case Type::Int64:
        return "q";
    case Type::UInt8:
        return "C";
    case Type::UInt16:
        return "S";
    case Type::UInt32:
        return "I";
    case Type::UInt64:
        return "Q";
    case Type::Float:
        return "f";
    case Type::Double:
    case Type::Decimal:
        return "d";
    }
    return "?";
}

bool Number::isUnsigned() const {
    return type_ == Type::UInt8 || type_ == Type::UInt16 || type_ == Type::UInt32 || type_ == Type::UInt64;
}

bool Number::boolValue() const {
    if (isFloatingPoint()) return v_.d != 0 && !std::isnan(v_.d);
    return v_.u != 0;
}

double Number::doubleValue() const {
    if (isFloatingPoint()) return v_.d;
    if (isUnsigned()) return static_cast<double>(v_.u);
    return static_cast<double>(v_.i);
}

int64_t Number::clampSigned(int64_t lo, int64_t hi) const {
    int64_t v;
    if (isFloatingPoint())
        v = saturatingInt64(v_.d);
    else if (isUnsigned())
        v = v_.u > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v_.u);
    else
        v = v_.i;
    return v < lo ? lo : (v > hi ? hi : v);
}

uint64_t Number::clampUnsigned(uint64_t hi) const {
    uint64_t v;
    if (isFloatingPoint())
        v = saturatingUInt64(v_.d);
    else if (isUnsigned())
        v = v_.u;
    else
        v = v_.i < 0 ? 0 : static_cast<uint64_t>(v_.i);
    return v > hi ? hi : v;
}

std::string Number::stringValue() const {
    char buf[64];
    if (isFloatingPoint()) {
        double d = v_.d;
        if (std::isnan(d)) return "nan";
        if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
        std::to_chars_result r = type_ == Type::Float
                                     ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d))
                                     : std::to_chars(buf, buf + sizeof buf, d);
        return std::string(buf, r.ptr);
    }
    auto r = isUnsigned() ? std::to_chars(buf, buf + sizeof buf, v_.u)
                          : std::to_chars(buf, buf + sizeof buf, v_.i);
    return std::string(buf, r.ptr);
}

namespace {

// Exact comparison of an integer (as sign + magnitude) with a double.
int compareIntDouble(bool negative, uint64_t magnitude, double d) {
    if (std::isnan(d)) return 1;
    if (std::isinf(d)) return d > 0 ? -1 : 1;
    long double li = negative ? -static_cast<long double>(magnitude) : static_cast<long double>(magnitude);
    long double ld = d; // long double holds every int64/uint64 and every double exactly on x86-64
    return li < ld ? -1 : (li > ld ? 1 : 0);
}

} // namespace

int Number::compare(const Number& o) const {
    if (isFloatingPoint() && o.isFloatingPoint()) {
        double a = v_.d, b = o.v_.d;
        bool an = std::isnan(a), bn = std::isnan(b);
        if (an || bn) return an && bn ? 0 : (an ? -1 : 1);
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    if (isFloatingPoint()) return -o.compare(*this);
    bool neg = !isUnsigned() && v_.i < 0;
    uint64_t mag = neg ? static_cast<uint64_t>(-(v_.i + 1)) + 1 : v_.u;
    if (o.isFloatingPoint()) return compareIntDouble(neg, mag, o.v_.d);
    bool oneg = !o.isUnsigned() && o.v_.i < 0;
    uint64_t omag = oneg ? static_cast<uint64_t>(-(o.v_.i + 1)) + 1 : o.v_.u;
    if (neg != oneg) return neg ? -1 : 1;
    if (mag == omag) return 0;
    bool less = mag < omag;
    if (neg) less = !less;
    return less ? -1 : 1;
}

} // namespace plat
