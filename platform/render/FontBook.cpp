#include "platform/render/FontBook.h"

#include "platform/render/SymbolTable.h"

#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <filesystem>
#include <vector>

namespace plat::render {

namespace {

// Latin-1, Latin Extended-A (the Spanish texts and names), general punctuation (dashes, quotes,
// the bullet and the ellipsis) and the euro sign.
const ImWchar kTextRanges[] = {0x0020, 0x00FF, 0x0100, 0x017F, 0x2010, 0x2027, 0x20AC, 0x20AC, 0};

// One range per symbol glyph, built once from the symbol table.
const ImWchar* symbolRanges() {
    static const std::vector<ImWchar>* ranges = [] {
        auto* r = new std::vector<ImWchar>();
        std::vector<ImWchar> codes;
        for (const SymbolGlyph& g : SymbolTable::all())
            codes.push_back(static_cast<ImWchar>(g.codepoint));
        std::sort(codes.begin(), codes.end());
        codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
        for (ImWchar c : codes) {
            r->push_back(c);
            r->push_back(c);
        }
        r->push_back(0);
        return r;
    }();
    return ranges->data();
}

bool fileExists(const char* path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

} // namespace

FontBook& FontBook::shared() {
    static FontBook* book = new FontBook();
    return *book;
}

FontBook::FontBook() {
    textLoaded_ = fileExists(regularPath()) && fileExists(boldPath());
    symbolsLoaded_ = fileExists(SymbolTable::fontPath());
    measuringAtlas_ = new ImFontAtlas();
    measuringFaces_ = populate(*measuringAtlas_);
    measuringAtlas_->Build();
}

const char* FontBook::regularPath() {
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

const char* FontBook::boldPath() {
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
}

FontBook::Faces FontBook::populate(ImFontAtlas& atlas) const {
    Faces faces;
    for (int i = 0; i < Faces::kCount; ++i) {
        const float size = Faces::kSizes[i];
        for (bool bold : {false, true}) {
            ImFont* font = nullptr;
            if (textLoaded_) {
                ImFontConfig config;
                config.OversampleH = 2;
                font =
                    atlas.AddFontFromFileTTF(bold ? boldPath() : regularPath(), size, &config, kTextRanges);
            }
            if (!font) {
                ImFontConfig config;
                config.SizePixels = size;
                font = atlas.AddFontDefault(&config);
            }
            if (symbolsLoaded_) {
                ImFontConfig merge;
                merge.MergeMode = true;
                merge.PixelSnapH = true;
                merge.GlyphMinAdvanceX = size;
                atlas.AddFontFromFileTTF(SymbolTable::fontPath(), size, &merge, symbolRanges());
            }
            (bold ? faces.bold : faces.regular)[i] = font;
        }
    }
    return faces;
}

ImFont* FontBook::Faces::pick(Font font) const {
    ImFont* const* set = font.bold ? bold : regular;
    for (int i = 0; i < kCount; ++i) {
        if (font.size <= kSizes[i]) return set[i];
    }
    return set[kCount - 1];
}

bool FontBook::hasGlyph(char32_t codepoint) const {
    if (codepoint > 0xFFFF) return false;
    return measuringFaces_.regular[0]->FindGlyphNoFallback(static_cast<ImWchar>(codepoint)) != nullptr;
}

Size FontBook::measure(std::string_view text, Font font, double wrapWidth) const {
    if (text.empty()) return {0, font.size};
    const ImFont* face = measuringFaces_.pick(font);
    const char* begin = text.data();
    const char* end = begin + text.size();
    // The font library measures in float.
    ImVec2 size = face->CalcTextSizeA(static_cast<float>(font.size), FLT_MAX,
                                      wrapWidth > 0 ? static_cast<float>(wrapWidth) : 0.0f, begin, end);
    return {size.x, size.y};
}

} // namespace plat::render
