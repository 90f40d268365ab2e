#include "json/JSONTextWriter.h"

#include "json/JSON.h"

#include "platform/foundation/Text.h"

#include <iostream>

using plat::JSONSerialization;
using plat::Object;

namespace {

constexpr int64_t kDefaultMaxObjectDepth = 10;
// However large a budget the caller gives, the own writer recurses no deeper than this, so a
// hand-built chain of nested values cannot exhaust the stack.
constexpr int64_t kWriterRecursionLimit = 1024;

template <typename T> const T* optionOf(const JSONWritingOptions& options, writingOptionsKeys key) {
    auto found = options.find(key);
    return found == options.end() ? nullptr : std::any_cast<T>(&found->second);
}

// The depth budget accepts any integer type, since an int literal is the natural way to write it.
std::optional<int64_t> integerOption(const JSONWritingOptions& options, writingOptionsKeys key) {
    if (auto v = optionOf<int64_t>(options, key)) return *v;
    if (auto v = optionOf<int>(options, key)) return *v;
    if (auto v = optionOf<long long>(options, key)) return *v;
    if (auto v = optionOf<unsigned>(options, key)) return *v;
    return std::nullopt;
}

unsigned serializerOptions(const JSONWritingOptions& options) {
    if (auto v = optionOf<unsigned>(options, writingOptionsKeys::jsonSerialization)) return *v;
    if (auto v = optionOf<int>(options, writingOptionsKeys::jsonSerialization))
        return static_cast<unsigned>(*v);
    if (auto v = optionOf<JSONSerialization::WritingOptions>(options, writingOptionsKeys::jsonSerialization))
        return *v;
    return JSONSerialization::PrettyPrinted;
}

std::optional<std::string> decodeText(std::string_view bytes, StringEncoding encoding) {
    switch (encoding) {
    case StringEncoding::utf8:
        if (!plat::text::isValidUTF8(bytes)) return std::nullopt;
        return std::string(bytes);
    case StringEncoding::ascii:
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        }
        return std::string(bytes);
    case StringEncoding::isoLatin1: {
        std::string text;
        text.reserve(bytes.size());
        for (char c : bytes) {
            auto u = static_cast<unsigned char>(c);
            if (u < 0x80) {
                text.push_back(c);
            } else {
                text.push_back(static_cast<char>(0xC0 | (u >> 6)));
                text.push_back(static_cast<char>(0x80 | (u & 0x3F)));
            }
        }
        return text;
    }
    }
    return std::nullopt;
}

// A nested text is quoted after escaping backslashes, then double quotes.
std::string quoted(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

} // namespace

JSONTextWriter::JSONTextWriter(StringEncoding encoding, const JSONWritingOptions& options)
    : encoding_(encoding), options_(options) {}

std::optional<std::string> JSONTextWriter::write(const JSON& value, int64_t budget, int64_t level) const {
    if (budget < 1 || level > kWriterRecursionLimit) throw JSONException(JSONError::invalidJSON);
    switch (value.type()) {
    case JSON::Type::number:
        return value.rawValue().number().stringValue();
    case JSON::Type::string:
        return value.rawValue().string();
    case JSON::Type::bool_:
        return value.rawValue().number().boolValue() ? "true" : "false";
    case JSON::Type::null:
        return "null";
    case JSON::Type::unknown:
        return std::nullopt;
    case JSON::Type::array:
    case JSON::Type::dictionary:
        break;
    }
    const bool* cast = optionOf<bool>(options_, writingOptionsKeys::castNilToNSNull);
    if (!cast || !*cast) {
        try {
            plat::Data bytes = value.rawData(serializerOptions(options_));
            return decodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                              encoding_);
        } catch (const JSONException&) {
            return std::nullopt;
        }
    }
    const Object raw = value.rawValue();
    std::string out;
    bool first = true;
    if (value.type() == JSON::Type::array) {
        out.push_back('[');
        for (const Object& element : raw.array()) {
            std::optional<std::string> text = element.isAbsent() ? "null" : nested(element, budget, level);
            if (!text) return std::nullopt;
            if (!first) out.push_back(',');
            first = false;
            out += *text;
        }
        out.push_back(']');
        return out;
    }
    out.push_back('{');
    for (const auto& [key, element] : raw.dict()) {
        std::optional<std::string> text = element.isAbsent() ? "null" : nested(element, budget, level);
        if (!text) return std::nullopt;
        if (!first) out.push_back(',');
        first = false;
        // Keys are escaped like texts: an unescaped quote in a key would end the key early.
        out += quoted(key);
        out += ": ";
        out += *text;
    }
    out.push_back('}');
    return out;
}

// A failing element (including an exhausted budget below) fails only its enclosing containers.
std::optional<std::string> JSONTextWriter::nested(const Object& element, int64_t budget,
                                                  int64_t level) const {
    JSON value(element);
    std::optional<std::string> text;
    try {
        text = write(value, budget - 1, level + 1);
    } catch (const JSONException&) {
        return std::nullopt;
    }
    if (text && value.type() == JSON::Type::string) return quoted(*text);
    return text;
}

std::optional<std::string> JSONTextWriter::writeReportingFailure(const JSON& value, StringEncoding encoding,
                                                                 const JSONWritingOptions& options,
                                                                 int64_t budget) {
    try {
        return JSONTextWriter(encoding, options).write(value, budget, 0);
    } catch (const JSONException& error) {
        std::cout << "Could not serialize object to JSON because: " << error.error().localizedDescription()
                  << std::endl;
        return std::nullopt;
    }
}

std::optional<std::string> JSONTextWriter::text(const JSON& value, StringEncoding encoding,
                                                unsigned writingOptions) {
    JSONWritingOptions options{{writingOptionsKeys::jsonSerialization, writingOptions}};
    return writeReportingFailure(value, encoding, options, kDefaultMaxObjectDepth);
}

std::optional<std::string> JSONTextWriter::text(const JSON& value, const JSONWritingOptions& options) {
    const StringEncoding* encoding = optionOf<StringEncoding>(options, writingOptionsKeys::encoding);
    int64_t budget =
        integerOption(options, writingOptionsKeys::maxObjextDepth).value_or(kDefaultMaxObjectDepth);
    return writeReportingFailure(value, encoding ? *encoding : StringEncoding::utf8, options, budget);
}
