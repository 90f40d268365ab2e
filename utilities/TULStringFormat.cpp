#include "utilities/TULStringFormat.h"

#include <cctype>
#include <cstdio>

namespace {

std::string describe(const plat::Object& value) {
    switch (value.kind()) {
    case plat::Object::Kind::Absent:
    case plat::Object::Kind::Null:
        return "(null)";
    case plat::Object::Kind::String:
        return value.string();
    case plat::Object::Kind::Number:
        return value.number().stringValue();
    default:
        return value.debugDescription();
    }
}

// One conversion through snprintf, with flags, width and precision from the format but the length
// modifier replaced by the widest one, so the argument's type always matches what snprintf reads.
template <typename T> std::string printOne(const std::string& conversion, T value) {
    char small[64];
    int n = std::snprintf(small, sizeof small, conversion.c_str(), value);
    if (n < 0) return {};
    if (size_t(n) < sizeof small) return std::string(small, size_t(n));
    std::string big(size_t(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), conversion.c_str(), value);
    big.resize(size_t(n));
    return big;
}

} // namespace

std::string TULStringWithFormat(std::string_view format, const TULFormatArguments& arguments) {
    std::string out;
    size_t next = 0;
    auto take = [&]() -> const plat::Object& {
        static const plat::Object* absent = new plat::Object; // never destroyed: workers format too
        return next < arguments.size() ? arguments[next++] : *absent;
    };
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        size_t start = i++;
        std::string flags;
        while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
            flags += format[i++];
        std::string width, precision;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
            width += format[i++];
        if (i < format.size() && format[i] == '.') {
            precision = ".";
            ++i;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
                precision += format[i++];
        }
        // Widths and precisions are capped so a hostile format cannot ask for gigabytes.
        if (width.size() > 3) width = "999";
        if (precision.size() > 4) precision = ".999";
        while (i < format.size() && std::string_view("hlqLzjt").find(format[i]) != std::string_view::npos)
            ++i;
        if (i >= format.size()) {
            out.append(format.substr(start));
            break;
        }
        std::string conversion = "%" + flags + width + precision;
        switch (char conv = format[i]) {
        case '%':
            out += '%';
            break;
        case '@':
            out += describe(take());
            break;
        case 's': {
            const plat::Object& v = take();
            out += printOne(conversion + "s", (v.isString() ? v.string() : describe(v)).c_str());
            break;
        }
        case 'd':
        case 'i':
            out += printOne(conversion + "lld", static_cast<long long>(take().number().int64Value()));
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            out += printOne(conversion + "ll" + conv,
                            static_cast<unsigned long long>(take().number().uint64Value()));
            break;
        case 'c':
            out += static_cast<char>(take().number().int64Value());
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            out += printOne(conversion + conv, take().number().doubleValue());
            break;
        default:
            // Unknown conversions (including %n and %p) are copied verbatim and consume nothing.
            out.append(format.substr(start, i - start + 1));
            break;
        }
    }
    return out;
}
