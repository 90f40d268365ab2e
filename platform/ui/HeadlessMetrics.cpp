#include "platform/ui/HeadlessMetrics.h"

#include <cmath>

namespace plat::ui {

namespace {
std::size_t codePoints(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}
} // namespace

double HeadlessMetrics::textWidth(std::string_view text, const Font& font) const {
    const bool heavy = font.fontWeight() >= FontWeight::Bold;
    return static_cast<double>(codePoints(text)) * font.size() * (heavy ? 0.6 : 0.5);
}

double HeadlessMetrics::lineHeight(const Font& font) const {
    return std::ceil(font.size() * 1.25);
}

Size HeadlessMetrics::imageSize(const std::string& name, bool symbol, const Font& font) const {
    if (symbol) return {font.size(), font.size()};
    auto it = images_.find(name);
    return it == images_.end() ? Size{32, 32} : it->second;
}

} // namespace plat::ui
