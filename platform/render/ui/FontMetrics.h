// The toolkit's text and image measurements taken from the faces and images the windows draw, so a
// laid-out tree fits what is painted. Works without a display.
#pragma once

#include "platform/render/DisplayList.h"
#include "platform/ui/TextMetrics.h"

namespace plat::render {

class FontMetrics : public ui::TextMetrics {
public:
    double textWidth(std::string_view text, const ui::Font& font) const override;
    double lineHeight(const ui::Font& font) const override;
    Size imageSize(const std::string& name, bool symbol, const ui::Font& font) const override;
    // The lines the painter draws: it wraps as the faces' own word wrap does.
    std::optional<std::size_t> wrappedLineCount(std::string_view text, const ui::Font& font,
                                                double width) const override;

    // The renderer's font for a toolkit font (size, and bold from semibold up).
    static Font fontFor(const ui::Font& font);
    // The height of one line of text in a font of `size` points.
    static double lineHeightFor(double size);
};

} // namespace plat::render
