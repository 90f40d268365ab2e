#include "platform/foundation/JSONSerialization.h"

#include "platform/foundation/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace plat {

namespace {

constexpr const char* kReadFailureMessage =
    "The data couldn\u2019t be read because it isn\u2019t in the correct format.";

// Why a parse stopped, so the debug description can say something useful.
enum class Failure { Syntax, TooDeep, NumberOutOfRange };

// Builds plat::Object values straight from the parser's events. Containers are inserted into their
// parent as soon as they open; the stack keeps pointers to their heap-allocated payloads, which stay
// put however the parent grows. Depth is bounded here, before any frame is pushed, so hostile
// nesting ends the parse instead of growing the stack.
class ObjectBuilder {
public:
    using json = nlohmann::json;

    explicit ObjectBuilder(size_t maxDepth) : maxDepth_(maxDepth) { frames_.reserve(32); }

    bool null() { return put(Object::null()); }
    bool boolean(bool v) { return put(Object(Number(v))); }
    bool number_integer(json::number_integer_t v) { return put(Object(Number(static_cast<int64_t>(v)))); }
    bool number_unsigned(json::number_unsigned_t v) {
        if (v <= static_cast<uint64_t>(INT64_MAX)) return put(Object(Number(static_cast<int64_t>(v))));
        return put(Object(Number(static_cast<uint64_t>(v))));
    }
    bool number_float(json::number_float_t v, const json::string_t& text) {
        // The parser reports exponents beyond double's range as errors before they get here; a
        // non-finite value would never be writable again, so it is refused all the same.
        if (!std::isfinite(v)) {
            failure_ = Failure::NumberOutOfRange;
            failedText_ = text;
            return false;
        }
        return put(Object(Number(static_cast<double>(v))));
    }
    // Copied rather than moved: the parser then keeps its grown token buffer for the next string,
    // and the copy is allocated once at its exact size (measurably faster on large documents).
    bool string(json::string_t& s) { return put(Object(std::string(s))); }
    bool binary(json::binary_t&) { return false; } // JSON text never produces binary values

    bool start_object(size_t) {
        if (frames_.size() >= maxDepth_) return tooDeep();
        Object object{Object::Dict{}};
        Object::Dict* dict = &object.mutableDict();
        if (!put(std::move(object))) return false;
        frames_.push_back(Frame{nullptr, dict, {}});
        return true;
    }
    bool key(json::string_t& k) {
        frames_.back().key = std::move(k);
        return true;
    }
    bool end_object() {
        frames_.pop_back();
        return true;
    }
    bool start_array(size_t) {
        if (frames_.size() >= maxDepth_) return tooDeep();
        Object object{Object::Array{}};
        Object::Array* array = &object.mutableArray();
        if (!put(std::move(object))) return false;
        frames_.push_back(Frame{array, nullptr, {}});
        return true;
    }
    bool end_array() {
        frames_.pop_back();
        return true;
    }
    bool parse_error(size_t position, const std::string& lastToken, const nlohmann::detail::exception& ex) {
        failure_ = Failure::Syntax;
        if (std::string_view(ex.what()).find("number overflow") != std::string_view::npos) {
            failure_ = Failure::NumberOutOfRange;
            failedText_ = lastToken;
        }
        afterValue_ = frames_.empty() && !root_.isAbsent();
        position_ = position;
        message_ = ex.what();
        return false;
    }

    Object takeResult() { return std::move(root_); }
    Failure failure() const { return failure_; }
    size_t position() const { return position_; }
    const std::string& parserMessage() const { return message_; }
    const std::string& failedText() const { return failedText_; }
    // Whether the failure came after a complete top-level value (trailing garbage).
    bool afterValue() const { return afterValue_; }

private:
    struct Frame {
        Object::Array* array; // exactly one of array and dict is set
        Object::Dict* dict;
        std::string key;
    };

    bool put(Object&& value) {
        if (frames_.empty()) {
            root_ = std::move(value);
            return true;
        }
        Frame& top = frames_.back();
        if (top.array)
            top.array->push_back(std::move(value));
        else
            top.dict->insert_or_assign(std::move(top.key), std::move(value)); // a repeated key: last wins
        return true;
    }
    bool tooDeep() {
        failure_ = Failure::TooDeep;
        return false;
    }

    size_t maxDepth_;
    std::vector<Frame> frames_;
    Object root_;
    Failure failure_ = Failure::Syntax;
    bool afterValue_ = false;
    size_t position_ = 0;
    std::string message_;
    std::string failedText_;
};

// Offset just past the end of the string literal that opens at `i` (or the input size).
size_t skipString(std::string_view bytes, size_t i) {
    for (++i; i < bytes.size(); ++i) {
        if (bytes[i] == '\\')
            ++i;
        else if (bytes[i] == '"')
            return i + 1;
    }
    return bytes.size();
}

// Offset of the bracket that opens the container nested one level deeper than `maxDepth`. Only
// called on the failure path, so the second pass costs nothing on good input.
size_t locateTooDeep(std::string_view bytes, size_t maxDepth) {
    size_t depth = 0;
    for (size_t i = 0; i < bytes.size();) {
        char c = bytes[i];
        if (c == '"') {
            i = skipString(bytes, i);
            continue;
        }
        if (c == '[' || c == '{') {
            if (++depth > maxDepth) return i;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
        ++i;
    }
    return bytes.size();
}

std::string whereText(std::string_view bytes, size_t offset) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return " around line " + std::to_string(line) + ", column " + std::to_string(column) + ".";
}

// The developer-facing part of a syntax error. The parser's own messages are classified rather than
// passed on, so the wording stays ours.
std::string syntaxMessage(std::string_view bytes, size_t offset, const std::string& parserMessage,
                          bool afterValue) {
    auto says = [&](const char* s) { return parserMessage.find(s) != std::string::npos; };
    if (afterValue) return "Garbage at end";
    if (says("UTF-8")) return "Invalid UTF-8 data in string";
    if (offset < bytes.size() && bytes[offset] == '\0')
        return "Invalid value"; // the parser takes NUL for the end
    if (says("unexpected end of input") || offset >= bytes.size()) return "Unexpected end of file";
    if (says("control character")) return "Unescaped control character in string";
    if (says("surrogate") || says("\\u")) return "Invalid unicode escape sequence in string";
    if (says("backslash") || says("escape")) return "Invalid escape sequence in string";
    unsigned char c = static_cast<unsigned char>(bytes[offset]);
    if (c >= 0x21 && c < 0x7f) return std::string("Unexpected character '") + static_cast<char>(c) + "'";
    return "Invalid value";
}

Error readError(std::string_view bytes, size_t offset, const std::string& detail) {
    Object::Dict info;
    info[kLocalizedDescriptionKey] = Object(kReadFailureMessage);
    info[JSONSerialization::kDebugDescriptionKey] = Object(detail + whereText(bytes, offset));
    info[JSONSerialization::kErrorIndexKey] = Object(static_cast<int64_t>(offset));
    return Error(JSONSerialization::kErrorDomain, JSONSerialization::kParseErrorCode, std::move(info));
}

// Writes (or, without an output, only checks) an object as JSON text. Recursion is bounded by
// kMaxDepth, so a deep value is refused instead of exhausting the stack.
class Writer {
public:
    Writer(unsigned options, std::string* out)
        : out_(out), pretty_(options & JSONSerialization::PrettyPrinted),
          escapeSlashes_(!(options & JSONSerialization::WithoutEscapingSlashes)),
          fragments_(options & JSONSerialization::FragmentsAllowedWriting) {}

    // Empty on success, otherwise what made the object unwritable.
    std::string run(const Object& object) {
        if (!fragments_ && !object.isArray() && !object.isDict())
            return "Invalid top-level type in JSON write";
        value(object, 0);
        return problem_;
    }

private:
    bool fail(std::string why) {
        problem_ = std::move(why);
        return false;
    }
    void emit(std::string_view s) {
        if (out_) out_->append(s);
    }
    void newline(size_t depth) {
        if (!out_ || !pretty_) return;
        out_->push_back('\n');
        out_->append(depth * 2, ' ');
    }

    bool value(const Object& object, size_t depth) {
        switch (object.kind()) {
        case Object::Kind::Null:
            emit("null");
            return true;
        case Object::Kind::Number:
            return number(object.number());
        case Object::Kind::String:
            return string(object.string());
        case Object::Kind::Array:
            return array(object.array(), depth + 1);
        case Object::Kind::Dict:
            return dict(object.dict(), depth + 1);
        default:
            return fail(std::string("Invalid type in JSON write (") + Object::kindName(object.kind()) + ")");
        }
    }

    bool number(const Number& n) {
        if (n.isBool()) {
            emit(n.boolValue() ? "true" : "false");
            return true;
        }
        if (n.isFloatingPoint() && !std::isfinite(n.doubleValue()))
            return fail("Invalid number value (" + n.stringValue() + ") in JSON write");
        if (out_) out_->append(n.stringValue());
        return true;
    }

    bool string(const std::string& s) {
        for (char c : s) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                if (!text::isValidUTF8(s)) return fail("Invalid UTF-8 string in JSON write");
                break;
            }
        }
        if (!out_) return true;
        std::string& out = *out_;
        out.push_back('"');
        size_t copied = 0; // start of the bytes not yet copied
        for (size_t i = 0; i < s.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            const char* escape = nullptr;
            char buffer[8];
            switch (c) {
            case '"':
                escape = "\\\"";
                break;
            case '\\':
                escape = "\\\\";
                break;
            case '/':
                escape = escapeSlashes_ ? "\\/" : nullptr;
                break;
            case '\n':
                escape = "\\n";
                break;
            case '\r':
                escape = "\\r";
                break;
            case '\t':
                escape = "\\t";
                break;
            case '\b':
                escape = "\\b";
                break;
            case '\f':
                escape = "\\f";
                break;
            default:
                if (c < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    std::memcpy(buffer, "\\u00", 4);
                    buffer[4] = hex[c >> 4];
                    buffer[5] = hex[c & 15];
                    buffer[6] = 0;
                    escape = buffer;
                }
            }
            if (!escape) continue;
            out.append(s, copied, i - copied);
            out.append(escape);
            copied = i + 1;
        }
        out.append(s, copied, s.size() - copied);
        out.push_back('"');
        return true;
    }

    bool array(const Object::Array& items, size_t depth) {
        if (depth > JSONSerialization::kMaxDepth)
            return fail("Too many nested arrays or dictionaries in JSON write");
        emit("[");
        bool first = true;
        for (const Object& item : items) {
            if (!first) emit(",");
            first = false;
            newline(depth);
            if (!value(item, depth)) return false;
        }
        if (!items.empty()) newline(depth - 1);
        emit("]");
        return true;
    }

    bool dict(const Object::Dict& entries, size_t depth) {
        if (depth > JSONSerialization::kMaxDepth)
            return fail("Too many nested arrays or dictionaries in JSON write");
        emit("{");
        bool first = true;
        for (const auto& [key, item] : entries) {
            if (!first) emit(",");
            first = false;
            newline(depth);
            if (!string(key)) return false;
            emit(pretty_ ? " : " : ":");
            if (!value(item, depth)) return false;
        }
        if (!entries.empty()) newline(depth - 1);
        emit("}");
        return true;
    }

    std::string* out_;
    bool pretty_;
    bool escapeSlashes_;
    bool fragments_;
    std::string problem_;
};

} // namespace

Object JSONSerialization::jsonObject(std::string_view bytes, unsigned, Error* error) {
    ObjectBuilder builder(kMaxDepth);
    bool ok = false;
    try {
        ok = nlohmann::json::sax_parse(bytes.data(), bytes.data() + bytes.size(), &builder,
                                       nlohmann::json::input_format_t::json, true, false);
    } catch (const nlohmann::json::exception& ex) {
        // The parser reports through parse_error; this only guards against a path that throws.
        builder.parse_error(bytes.size(), {}, ex);
    }
    if (ok) {
        // The parser treats a NUL byte as the end of input, so a value followed by NUL and anything
        // at all would pass; no raw NUL is valid JSON, and inside the value it already failed.
        size_t nul = bytes.find('\0');
        if (nul == std::string_view::npos) return builder.takeResult();
        if (error) *error = readError(bytes, nul, "Garbage at end");
        return Object();
    }
    if (error) {
        switch (builder.failure()) {
        case Failure::TooDeep:
            *error =
                readError(bytes, locateTooDeep(bytes, kMaxDepth), "Too many nested arrays or dictionaries");
            break;
        case Failure::NumberOutOfRange: {
            // The position is just past the number; point at its first byte.
            size_t length = builder.failedText().size();
            size_t offset = builder.position() > length ? builder.position() - length : 0;
            *error = readError(bytes, std::min(offset, bytes.size()),
                               "Number " + builder.failedText() + " is not representable");
            break;
        }
        case Failure::Syntax: {
            // The parser counts the offending byte as read; point at it, not past it.
            size_t offset = builder.position() > 0 ? builder.position() - 1 : 0;
            if (offset > bytes.size()) offset = bytes.size();
            *error = readError(bytes, offset,
                               syntaxMessage(bytes, offset, builder.parserMessage(), builder.afterValue()));
            break;
        }
        }
    }
    return Object();
}

bool JSONSerialization::isValidJSONObject(const Object& object, unsigned options) {
    return Writer(options, nullptr).run(object).empty();
}

std::optional<std::string> JSONSerialization::data(const Object& object, unsigned options, Error* error) {
    std::string out;
    std::string problem = Writer(options, &out).run(object);
    if (problem.empty()) return out;
    if (error) {
        Object::Dict info;
        info[kLocalizedDescriptionKey] =
            Object("The data couldn\u2019t be written because it isn\u2019t in the correct format.");
        info[kDebugDescriptionKey] = Object(problem);
        *error = Error(kErrorDomain, kWriteErrorCode, std::move(info));
    }
    return std::nullopt;
}

} // namespace plat
