// The text metrics of headless hosts: deterministic, so tests can state exact frames.
#pragma once

#include "platform/ui/TextMetrics.h"

#include <map>
#include <string>
#include <string_view>

namespace plat::ui {

// Every code point is half the font size wide (0.6 for bold and heavier weights), a line is 1.25
// times the size (rounded up to a whole point), a symbol is a square of the font size, and asset
// images are 32 x 32 unless set otherwise.
class HeadlessMetrics : public TextMetrics {
public:
    double textWidth(std::string_view text, const Font& font) const override;
    double lineHeight(const Font& font) const override;
    Size imageSize(const std::string& name, bool symbol, const Font& font) const override;

    void setImageSize(const std::string& assetName, Size size) { images_[assetName] = size; }

private:
    std::map<std::string, Size> images_;
};

} // namespace plat::ui
