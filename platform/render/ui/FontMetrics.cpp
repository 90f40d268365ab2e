#include "platform/render/ui/FontMetrics.h"

#include "platform/render/FontBook.h"
#include "platform/render/ImageStore.h"
#include "platform/render/SymbolTable.h"

#include <algorithm>
#include <cmath>

namespace plat::render {

Font FontMetrics::fontFor(const ui::Font& font) {
    const auto w = font.fontWeight();
    const bool bold = w == ui::FontWeight::Semibold || w == ui::FontWeight::Bold ||
                      w == ui::FontWeight::Heavy || w == ui::FontWeight::Black;
    return Font{font.size(), bold};
}

double FontMetrics::lineHeightFor(double size) {
    // Rounded up from the product in float, as the faces' own metrics are: 15-point text gets
    // 19-point lines, and every laid-out screen depends on these heights.
    return std::ceil(static_cast<float>(size) * 1.2f);
}

double FontMetrics::textWidth(std::string_view text, const ui::Font& font) const {
    return FontBook::shared().measure(text, fontFor(font)).width;
}

double FontMetrics::lineHeight(const ui::Font& font) const {
    return lineHeightFor(font.size());
}

std::optional<std::size_t> FontMetrics::wrappedLineCount(std::string_view text, const ui::Font& font,
                                                         double width) const {
    // Counted as paintText() counts the lines it draws.
    const Font face = fontFor(font);
    const double height = FontBook::shared().measure(text, face, width).height;
    return static_cast<std::size_t>(std::max(1.0, std::round(height / face.size)));
}

Size FontMetrics::imageSize(const std::string& name, bool symbol, const ui::Font& font) const {
    if (symbol) {
        // A symbol is a square of the line's height: the glyphs differ in width, the slot does not.
        const double side = lineHeight(font);
        return {side, side};
    }
    if (auto size = ImageStore::shared().size(name))
        return {static_cast<double>(size->width), static_cast<double>(size->height)};
    return {0, 0};
}

} // namespace plat::render
