#include "platform/render/SymbolTable.h"

#include <algorithm>
#include <array>

namespace plat::render {

namespace {

// Kept sorted by name: lookups use binary search, and a test checks the order.
constexpr std::array kSymbols = {
    SymbolGlyph{"applelogo", 0xF179},                          // apple
    SymbolGlyph{"appletv", 0xF26C},                            // television
    SymbolGlyph{"arrow.clockwise", 0xF01E},                    // repeat
    SymbolGlyph{"arrow.right", 0xF061},                        // arrow-right
    SymbolGlyph{"cart", 0xF07A},                               // shopping-cart
    SymbolGlyph{"checkmark", 0xF00C},                          // check
    SymbolGlyph{"checkmark.shield.fill", 0xF132},              // shield
    SymbolGlyph{"chevron.down", 0xF078},                       // chevron-down
    SymbolGlyph{"desktopcomputer", 0xF108},                    // desktop
    SymbolGlyph{"envelope", 0xF003},                           // envelope-o
    SymbolGlyph{"envelope.fill", 0xF0E0},                      // envelope
    SymbolGlyph{"exclamationmark.triangle", 0xF071},           // exclamation-triangle
    SymbolGlyph{"eye", 0xF06E},                                // eye
    SymbolGlyph{"eye.fill", 0xF06E},                           // eye
    SymbolGlyph{"eye.slash", 0xF070},                          // eye-slash
    SymbolGlyph{"eye.slash.fill", 0xF070},                     // eye-slash
    SymbolGlyph{"gearshape", 0xF013},                          // cog
    SymbolGlyph{"gearshape.fill", 0xF013},                     // cog
    SymbolGlyph{"globe", 0xF0AC},                              // globe
    SymbolGlyph{"info.circle", 0xF05A},                        // info-circle
    SymbolGlyph{"laptopcomputer", 0xF109},                     // laptop
    SymbolGlyph{"lock.fill", 0xF023},                          // lock
    SymbolGlyph{"magnifyingglass", 0xF002},                    // search
    SymbolGlyph{"person.circle", 0xF2BE},                      // user-circle-o
    SymbolGlyph{"person.crop.circle.fill", 0xF2BD},            // user-circle
    SymbolGlyph{"power", 0xF011},                              // power-off
    SymbolGlyph{"questionmark.circle", 0xF29C},                // question-circle-o
    SymbolGlyph{"rectangle.portrait.and.arrow.right", 0xF08B}, // sign-out
    SymbolGlyph{"server.rack", 0xF233},                        // server
    SymbolGlyph{"xmark", 0xF00D},                              // times
    SymbolGlyph{"xmark.circle.fill", 0xF057},                  // times-circle
};

} // namespace

std::span<const SymbolGlyph> SymbolTable::all() {
    return kSymbols;
}

std::optional<char32_t> SymbolTable::codepoint(std::string_view name) {
    auto it = std::lower_bound(kSymbols.begin(), kSymbols.end(), name,
                               [](const SymbolGlyph& g, std::string_view n) { return g.name < n; });
    if (it == kSymbols.end() || it->name != name) return std::nullopt;
    return it->codepoint;
}

const char* SymbolTable::fontPath() {
    return "/usr/share/fonts/truetype/font-awesome/fontawesome-webfont.ttf";
}

} // namespace plat::render
