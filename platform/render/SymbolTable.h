// The symbol names the screens use, each mapped once to its glyph in the FontAwesome 4.7 font.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace plat::render {

struct SymbolGlyph {
    std::string_view name;
    char32_t codepoint;
};

class SymbolTable {
public:
    // Every mapped symbol, in name order.
    static std::span<const SymbolGlyph> all();
    // The glyph for a symbol name; none for a name that is not mapped.
    static std::optional<char32_t> codepoint(std::string_view name);
    // The symbol font file.
    static const char* fontPath();
};

} // namespace plat::render
