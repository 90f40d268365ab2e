// How big text and images are, for layout. The renderer supplies real font measurements; headless
// hosts use HeadlessMetrics (HeadlessMetrics.h), which is deterministic so tests can state exact frames.
#pragma once

#include "platform/ui/Font.h"
#include "platform/ui/LayoutValues.h"

#include <string>
#include <string_view>

namespace plat::ui {

class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    // The advance of one line of `text` (UTF-8, no line breaks).
    virtual double textWidth(std::string_view text, const Font& font) const = 0;
    virtual double lineHeight(const Font& font) const = 0;
    // The natural size of an asset image, or of a symbol drawn in `font`.
    virtual Size imageSize(const std::string& name, bool symbol, const Font& font) const = 0;
};

} // namespace plat::ui
