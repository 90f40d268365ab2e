// How big text and images are, for layout. The renderer supplies real font measurements; headless
// hosts use HeadlessMetrics (HeadlessMetrics.h), which is deterministic so tests can state exact frames.
#pragma once

#include "platform/ui/Font.h"
#include "platform/ui/LayoutValues.h"

#include <cstddef>
#include <optional>
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
    // How many lines one line of `text` takes wrapped at `width`, where the drawing wraps by a rule
    // of its own (it may break after punctuation, say); none: the toolkit's rule, words at spaces.
    // A layout that counts the drawn lines never puts the next view over the last of them.
    virtual std::optional<std::size_t> wrappedLineCount(std::string_view text, const Font& font,
                                                        double width) const {
        (void)text, (void)font, (void)width;
        return std::nullopt;
    }
};

} // namespace plat::ui
