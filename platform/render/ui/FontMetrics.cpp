#include "platform/render/ui/FontMetrics.h"

#include "platform/render/FontBook.h"
#include "platform/render/ImageStore.h"
#include "platform/render/SymbolTable.h"

#include <cmath>

namespace plat::render {

Font FontMetrics::fontFor(const ui::Font& font) {
    const auto w = font.fontWeight();
    const bool bold = w == ui::FontWeight::Semibold || w == ui::FontWeight::Bold ||
                      w == ui::FontWeight::Heavy || w == ui::FontWeight::Black;
    return Font{static_cast<float>(font.size()), bold};
}

float FontMetrics::lineHeightFor(float size) {
    return std::ceil(size * 1.2f);
}

double FontMetrics::textWidth(std::string_view text, const ui::Font& font) const {
    return FontBook::shared().measure(text, fontFor(font)).width;
}

double FontMetrics::lineHeight(const ui::Font& font) const {
    return lineHeightFor(static_cast<float>(font.size()));
}

ui::Size FontMetrics::imageSize(const std::string& name, bool symbol, const ui::Font& font) const {
    if (symbol) {
        // A symbol is a square of the line's height: the glyphs differ in width, the slot does not.
        const double side = lineHeight(font);
        return {side, side};
    }
    if (auto bitmap = ImageStore::shared().image(name))
        return {static_cast<double>(bitmap->width), static_cast<double>(bitmap->height)};
    return {0, 0};
}

} // namespace plat::render
