#include "json/JSON.h"

#include "platform/foundation/Text.h"

namespace {

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
