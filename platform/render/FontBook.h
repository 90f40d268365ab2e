// The fonts every window bakes (DejaVu Sans regular and bold at a few sizes, each with the
// FontAwesome 4.7 symbols merged in) and text measurement with exactly those faces, so a layout
// made without a display matches what a window draws. Created on first use, never destroyed;
// thread-safe.
#pragma once

#include "platform/render/DisplayList.h"

#include <string_view>

struct ImFont;
struct ImFontAtlas;

namespace plat::render {

class FontBook {
public:
    static FontBook& shared();
    FontBook(const FontBook&) = delete;
    FontBook& operator=(const FontBook&) = delete;

    // The size of a run of UTF-8 text: one line, or wrapped at `wrapWidth` when it is above zero.
    // Each line is font.size points high.
    Size measure(std::string_view text, Font font, double wrapWidth = 0) const;
    // Whether the text and symbol font files were found (else a built-in fallback face is used).
    bool textFontLoaded() const { return textLoaded_; }
    bool symbolFontLoaded() const { return symbolsLoaded_; }

    // Whether the baked faces carry a glyph for the code point (the symbols are merged into each).
    bool hasGlyph(char32_t codepoint) const;

    static const char* regularPath();
    static const char* boldPath();

    // The faces baked into one atlas, smallest first.
    struct Faces {
        static constexpr int kCount = 3;
        static constexpr float kSizes[kCount] = {13, 20, 28};
        ImFont* regular[kCount] = {};
        ImFont* bold[kCount] = {};
        // The face to scale for a request: the smallest baked size not below it, else the largest.
        ImFont* pick(Font font) const;
    };
    // Adds the faces to an atlas (each window has its own, built the same way).
    Faces populate(ImFontAtlas& atlas) const;

private:
    FontBook();
    bool textLoaded_ = false;
    bool symbolsLoaded_ = false;
    ImFontAtlas* measuringAtlas_ = nullptr; // built once, never destroyed
    Faces measuringFaces_;
};

} // namespace plat::render
