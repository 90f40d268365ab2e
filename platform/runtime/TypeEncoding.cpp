#include "platform/runtime/TypeEncoding.h"

#include <algorithm>
#include <cctype>

namespace plat::rt {

namespace {

constexpr int kMaxDepth = 32;

size_t alignUp(size_t value, size_t alignment) {
    return alignment <= 1 ? value : (value + alignment - 1) / alignment * alignment;
}

std::optional<size_t> readNumber(std::string_view text, size_t& at) {
    size_t start = at;
    size_t value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        if (value > (size_t(1) << 40)) return std::nullopt;
        value = value * 10 + static_cast<size_t>(text[at] - '0');
        ++at;
    }
    if (at == start) return std::nullopt;
    return value;
}

std::optional<TypeInfo> parseType(std::string_view text, size_t& at, int depth);

// The members of a structure or union up to `close`, after an optional "name=".
std::optional<TypeInfo> parseAggregate(std::string_view text, size_t& at, int depth, char close,
                                       bool isUnion) {
    size_t start = at - 1;
    size_t nameEnd = at;
    while (nameEnd < text.size() && text[nameEnd] != '=' && text[nameEnd] != close && text[nameEnd] != '{' &&
           text[nameEnd] != '(')
        ++nameEnd;
    if (nameEnd >= text.size()) return std::nullopt;
    TypeInfo info;
    if (text[nameEnd] == close) { // a named type whose members are not given
        at = nameEnd + 1;
        info.encoding = std::string(text.substr(start, at - start));
        return info;
    }
    if (text[nameEnd] != '=') return std::nullopt;
    at = nameEnd + 1;
    size_t size = 0, alignment = 1;
    while (at < text.size() && text[at] != close) {
        std::optional<TypeInfo> member = parseType(text, at, depth + 1);
        if (!member) return std::nullopt;
        alignment = std::max(alignment, member->alignment);
        size = isUnion ? std::max(size, member->size) : alignUp(size, member->alignment) + member->size;
    }
    if (at >= text.size()) return std::nullopt;
    ++at;
    info.encoding = std::string(text.substr(start, at - start));
    info.alignment = alignment;
    info.size = alignUp(size, alignment);
    return info;
}

std::optional<TypeInfo> parseType(std::string_view text, size_t& at, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    // Qualifiers: const, in, inout, out, bycopy, byref, oneway.
    while (at < text.size() && std::string_view("rnNoORV").find(text[at]) != std::string_view::npos)
        ++at;
    if (at >= text.size()) return std::nullopt;
    size_t start = at;
    char c = text[at++];
    TypeInfo info;
    auto simple = [&](size_t size) {
        info.size = size;
        info.alignment = size == 0 ? 1 : size;
        info.encoding = std::string(text.substr(start, at - start));
        return info;
    };
    switch (c) {
    case 'c':
    case 'C':
    case 'B':
        return simple(1);
    case 's':
    case 'S':
        return simple(2);
    case 'i':
    case 'I':
    case 'f':
        return simple(4);
    case 'l':
    case 'L':
    case 'q':
    case 'Q':
    case 'd':
    case '*':
    case '#':
    case ':':
    case '?':
        return simple(8);
    case 'D':
        return simple(16);
    case 'v':
        return simple(0);
    case '@': {
        if (at < text.size() && text[at] == '?') {
            ++at; // a block
        } else if (at < text.size() && text[at] == '"') {
            size_t end = text.find('"', at + 1);
            if (end == std::string_view::npos) return std::nullopt;
            at = end + 1; // a class name
        }
        TypeInfo object = simple(8);
        object.isObject = true;
        return object;
    }
    case '^': {
        if (!parseType(text, at, depth + 1)) return std::nullopt;
        return simple(8);
    }
    case '[': {
        std::optional<size_t> count = readNumber(text, at);
        if (!count) return std::nullopt;
        std::optional<TypeInfo> element = parseType(text, at, depth + 1);
        if (!element || at >= text.size() || text[at] != ']') return std::nullopt;
        ++at;
        info.encoding = std::string(text.substr(start, at - start));
        info.alignment = element->alignment;
        info.size = *count * element->size;
        return info;
    }
    case '{':
        return parseAggregate(text, at, depth, '}', false);
    case '(':
        return parseAggregate(text, at, depth, ')', true);
    case 'b': {
        std::optional<size_t> bits = readNumber(text, at);
        if (!bits || *bits == 0 || *bits > 64) return std::nullopt;
        return simple((*bits + 7) / 8);
    }
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<TypeInfo> typeFromEncoding(std::string_view encoding) {
    size_t at = 0;
    std::optional<TypeInfo> info = parseType(encoding, at, 0);
    if (!info || at != encoding.size()) return std::nullopt;
    return info;
}

std::optional<std::vector<TypeInfo>> methodTypesFromEncoding(std::string_view encoding) {
    std::vector<TypeInfo> types;
    size_t at = 0;
    while (at < encoding.size()) {
        std::optional<TypeInfo> type = parseType(encoding, at, 0);
        if (!type) return std::nullopt;
        // The frame offset that may follow (negative for register arguments).
        if (at < encoding.size() && encoding[at] == '-') ++at;
        while (at < encoding.size() && std::isdigit(static_cast<unsigned char>(encoding[at])))
            ++at;
        types.push_back(std::move(*type));
    }
    // A result, the receiver and the selector at least.
    if (types.size() < 3 || !types[1].isObject || types[2].encoding != ":") return std::nullopt;
    return types;
}

} // namespace plat::rt
