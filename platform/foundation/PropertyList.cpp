#include "platform/foundation/PropertyList.h"

#include "platform/foundation/BinaryPropertyListReader.h"
#include "platform/foundation/Text.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

namespace plat::PropertyList {
namespace {

constexpr const char* kUIDKey = "CF$UID";

struct PlistDeleter {
    void operator()(void* node) const {
        if (node) plist_free(node);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

void setError(Error* error, int64_t code, const std::string& message) {
    if (error) *error = Error::withMessage(kErrorDomain, code, message);
}

// --- reading ---------------------------------------------------------------------------------

// XML nesting is checked before the parser sees it, because the parser itself recurses.
bool xmlNestingWithin(std::string_view xml, int limit) {
    int depth = 0;
    for (size_t i = 0; i + 1 < xml.size(); ++i) {
        if (xml[i] != '<') continue;
        std::string_view rest = xml.substr(i + 1);
        bool closing = !rest.empty() && rest[0] == '/';
        if (closing) rest.remove_prefix(1);
        bool container = rest.starts_with("array") || rest.starts_with("dict");
        if (!container) continue;
        size_t end = rest.find('>');
        bool selfClosing = end != std::string_view::npos && end > 0 && rest[end - 1] == '/';
        if (closing)
            --depth;
        else if (!selfClosing && ++depth > limit)
            return false;
    }
    return true;
}

bool convertNode(plist_t node, int depth, Object& out, std::string& why) {
    if (depth > kMaxDepth) {
        why = "nested too deeply";
        return false;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        out = Object(v != 0);
        return true;
    }
    case PLIST_UINT: {
        // This library keeps one 64-bit integer without its sign; values above INT64_MAX are the
        // negative numbers that every writer (ours included) stores in two's complement.
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        out = Object(static_cast<int64_t>(v));
        return true;
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        out = Object(v);
        return true;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* p = plist_get_string_ptr(node, &length);
        std::string text(p ? p : "", p ? length : 0);
        // Character references can spell lone surrogates, which no writer accepts back.
        if (!isValidText(text)) {
            why = "text with a NUL or malformed character";
            return false;
        }
        out = Object(std::move(text));
        return true;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* p = plist_get_data_ptr(node, &length);
        const auto* bytes = reinterpret_cast<const uint8_t*>(p);
        out = Object(p ? Data(bytes, bytes + length) : Data{});
        return true;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        // The library answers a date too far out for its 32-bit seconds as the lowest value, so
        // that value means "out of range" rather than a day in 1932.
        if (sec == std::numeric_limits<int32_t>::min() || usec <= -1000000 || usec >= 1000000) {
            why = "date out of range";
            return false;
        }
        // The library truncates toward zero and answers the fraction's magnitude, so dates before
        // 2001 subtract it. (Within the last second before 2001 the sign is lost altogether.)
        double fraction = static_cast<double>(usec < 0 ? -int64_t{usec} : int64_t{usec}) / 1e6;
        double seconds = sec < 0 ? static_cast<double>(sec) - fraction : static_cast<double>(sec) + fraction;
        out = Object(Date::fromReferenceDate(seconds));
        return true;
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        out = Object(Object::Dict{{kUIDKey, Object(v)}});
        return true;
    }
    case PLIST_ARRAY: {
        Object::Array items;
        uint32_t count = plist_array_get_size(node);
        items.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            Object item;
            plist_t child = plist_array_get_item(node, i);
            if (!child || !convertNode(child, depth + 1, item, why)) return false;
            items.push_back(std::move(item));
        }
        out = Object(std::move(items));
        return true;
    }
    case PLIST_DICT: {
        Object::Dict dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        bool ok = true;
        while (ok) {
            char* key = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, it, &key, &child);
            if (!child) {
                std::free(key);
                break;
            }
            Object value;
            if (key != nullptr && !isValidText(key)) {
                why = "key with a malformed character";
                ok = false;
            } else {
                ok = key != nullptr && convertNode(child, depth + 1, value, why);
            }
            if (ok) dict.insert_or_assign(std::string(key), std::move(value));
            std::free(key);
        }
        std::free(it);
        if (!ok) {
            if (why.empty()) why = "a dictionary key is missing";
            return false;
        }
        out = Object(std::move(dict));
        return true;
    }
    default:
        why = "unknown element";
        return false;
    }
}

// --- writing ---------------------------------------------------------------------------------

// Dates travel as whole seconds plus microseconds since 2001 in 32-bit fields.
bool dateFields(Date date, int32_t& sec, int32_t& usec) {
    double ref = date.timeIntervalSinceReferenceDate();
    if (!std::isfinite(ref)) return false;
    double whole = std::floor(ref);
    double micro = std::round((ref - whole) * 1e6);
    if (micro >= 1e6) {
        whole += 1;
        micro = 0;
    }
    if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
        return false;
    sec = static_cast<int32_t>(whole);
    usec = static_cast<int32_t>(micro);
    return true;
}

bool isUIDDict(const Object& value) {
    const auto& d = value.dict();
    if (d.size() != 1) return false;
    const Object& v = d.begin()->second;
    return d.begin()->first == kUIDKey && v.isNumber() && v.number().isInteger() && !v.number().isBool();
}

// Builds the libplist tree for `value`, or returns null with `why` set.
plist_t buildNode(const Object& value, int depth, std::string& why) {
    if (depth > kMaxDepth) {
        why = "nested too deeply";
        return nullptr;
    }
    switch (value.kind()) {
    case Object::Kind::Number: {
        const Number& n = value.number();
        if (n.isBool()) return plist_new_bool(n.boolValue() ? 1 : 0);
        if (n.isFloatingPoint()) return plist_new_real(n.doubleValue());
        if (n.isUnsigned()) {
            // The stored integer is read back signed, so the top half of uint64 cannot survive.
            if (n.uint64Value() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                why = "unsigned integer " + n.stringValue() + " is out of range";
                return nullptr;
            }
            return plist_new_uint(n.uint64Value());
        }
        return plist_new_uint(static_cast<uint64_t>(n.int64Value()));
    }
    case Object::Kind::String: {
        const std::string& s = value.string();
        if (!isValidText(s)) {
            why = "text with a NUL or malformed UTF-8";
            return nullptr;
        }
        return plist_new_string(s.c_str());
    }
    case Object::Kind::Data: {
        const Data& d = value.data();
        return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Object::Kind::Date: {
        int32_t sec = 0, usec = 0;
        if (!dateFields(value.date(), sec, usec)) {
            why = "date out of range";
            return nullptr;
        }
        return plist_new_date(sec, usec);
    }
    case Object::Kind::Array: {
        PlistPtr array(plist_new_array());
        for (const Object& item : value.array()) {
            plist_t child = buildNode(item, depth + 1, why);
            if (!child) return nullptr;
            plist_array_append_item(array.get(), child);
        }
        return array.release();
    }
    case Object::Kind::Dict: {
        if (isUIDDict(value)) {
            const Number& n = value.dict().begin()->second.number();
            // A reference is an index: a negative one would be written as 0, naming another object,
            // and one above INT64_MAX reads back negative from XML.
            if (n.isUnsigned() ? n.uint64Value() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                               : n.int64Value() < 0) {
                why = "keyed-archive reference " + n.stringValue() + " is out of range";
                return nullptr;
            }
            return plist_new_uid(n.uint64Value());
        }
        PlistPtr dict(plist_new_dict());
        for (const auto& [key, item] : value.dict()) {
            if (!isValidText(key)) {
                why = "key with a NUL or malformed UTF-8";
                return nullptr;
            }
            plist_t child = buildNode(item, depth + 1, why);
            if (!child) {
                why = "\"" + key + "\": " + why;
                return nullptr;
            }
            plist_dict_set_item(dict.get(), key.c_str(), child);
        }
        return dict.release();
    }
    case Object::Kind::Absent:
    case Object::Kind::Null:
    case Object::Kind::Opaque:
        why = std::string(Object::kindName(value.kind())) + " value";
        if (value.isOpaque()) why += " (" + value.opaque().typeName + ")";
        return nullptr;
    }
    why = "unknown value";
    return nullptr;
}

enum class Format { XML, Binary };

std::optional<std::string> encode(const Object& value, Format format, Error* error) {
    std::string why;
    PlistPtr root(buildNode(value, 0, why));
    if (!root) {
        setError(error, kWriteInvalidError, "Property list invalid for format: " + why);
        return std::nullopt;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == Format::XML)
        plist_to_xml(root.get(), &bytes, &length);
    else
        plist_to_bin(root.get(), &bytes, &length);
    if (!bytes) {
        setError(error, kWriteInvalidError, "Property list could not be encoded");
        return std::nullopt;
    }
    std::string out(bytes, length);
    if (format == Format::XML)
        plist_to_xml_free(bytes);
    else
        plist_to_bin_free(bytes);
    return out;
}

} // namespace

Object fromBytes(std::string_view bytes, Error* error) {
    const std::string corrupt = "The data couldn’t be read because it isn’t in the correct format.";
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        setError(error, kReadCorruptError, corrupt + (bytes.empty() ? " (empty)" : " (too large)"));
        return {};
    }
    // Binary lists never reach the library: some damaged ones make it abort the process.
    if (bytes.starts_with("bplist")) {
        std::string why;
        Object out = BinaryPropertyListReader::read(bytes, why);
        if (out.isAbsent()) setError(error, kReadCorruptError, corrupt + " (" + why + ")");
        return out;
    }
    const auto length = static_cast<uint32_t>(bytes.size());
    if (!xmlNestingWithin(bytes, kMaxDepth)) {
        setError(error, kReadCorruptError, corrupt + " (nested too deeply)");
        return {};
    }
    plist_t raw = nullptr;
    plist_from_xml(bytes.data(), length, &raw);
    PlistPtr root(raw);
    if (!root) {
        setError(error, kReadCorruptError, corrupt);
        return {};
    }
    Object out;
    std::string why;
    if (!convertNode(root.get(), 0, out, why)) {
        setError(error, kReadCorruptError, corrupt + " (" + why + ")");
        return {};
    }
    return out;
}

std::optional<std::string> toXML(const Object& value, Error* error) {
    return encode(value, Format::XML, error);
}

std::optional<std::string> toBinary(const Object& value, Error* error) {
    return encode(value, Format::Binary, error);
}

bool isValidText(std::string_view text) {
    return text.find('\0') == std::string_view::npos && text::isValidUTF8(text);
}

bool isValidDate(Date date) {
    int32_t sec = 0, usec = 0;
    return dateFields(date, sec, usec);
}

bool isValid(const Object& value, std::string* reason) {
    std::string why;
    PlistPtr root(buildNode(value, 0, why));
    if (!root && reason) *reason = why;
    return root != nullptr;
}

} // namespace plat::PropertyList
