#include "platform/ui/Font.h"

#include <cstdio>

namespace plat::ui {

namespace {
struct StyleInfo {
    const char* name;
    double size;
    FontWeight weight;
};
// Point sizes of the desktop's text styles.
StyleInfo info(Font::Style s) {
    switch (s) {
    case Font::Style::Body:
        return {"body", 13, FontWeight::Regular};
    case Font::Style::LargeTitle:
        return {"largeTitle", 26, FontWeight::Regular};
    case Font::Style::Title:
        return {"title", 22, FontWeight::Regular};
    case Font::Style::Title2:
        return {"title2", 17, FontWeight::Regular};
    case Font::Style::Title3:
        return {"title3", 15, FontWeight::Regular};
    case Font::Style::Headline:
        return {"headline", 13, FontWeight::Bold};
    case Font::Style::Subheadline:
        return {"subheadline", 11, FontWeight::Regular};
    case Font::Style::Callout:
        return {"callout", 12, FontWeight::Regular};
    case Font::Style::Footnote:
        return {"footnote", 10, FontWeight::Regular};
    case Font::Style::Caption:
        return {"caption", 10, FontWeight::Regular};
    case Font::Style::Custom:
        return {"system", 13, FontWeight::Regular};
    }
    return {"body", 13, FontWeight::Regular};
}
const char* designName(FontDesign d) {
    switch (d) {
    case FontDesign::Default:
        return "default";
    case FontDesign::Rounded:
        return "rounded";
    case FontDesign::Monospaced:
        return "monospaced";
    case FontDesign::Serif:
        return "serif";
    }
    return "default";
}
} // namespace

const char* name(FontWeight w) {
    switch (w) {
    case FontWeight::UltraLight:
        return "ultraLight";
    case FontWeight::Thin:
        return "thin";
    case FontWeight::Light:
        return "light";
    case FontWeight::Regular:
        return "regular";
    case FontWeight::Medium:
        return "medium";
    case FontWeight::Semibold:
        return "semibold";
    case FontWeight::Bold:
        return "bold";
    case FontWeight::Heavy:
        return "heavy";
    case FontWeight::Black:
        return "black";
    }
    return "regular";
}

Font Font::system(double size, FontWeight weight, FontDesign design) {
    Font f(Style::Custom);
    f.size_ = size > 0 ? size : info(Style::Custom).size;
    f.weightSet_ = true;
    f.weight_ = weight;
    f.design_ = design;
    return f;
}

Font Font::weight(FontWeight w) const {
    Font f = *this;
    f.weightSet_ = true;
    f.weight_ = w;
    return f;
}

double Font::size() const {
    return style_ == Style::Custom ? size_ : info(style_).size;
}

FontWeight Font::fontWeight() const {
    return weightSet_ ? weight_ : info(style_).weight;
}

std::string Font::description() const {
    std::string s = info(style_).name;
    if (style_ == Style::Custom) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, " %g", size_);
        s += buffer;
    }
    if (weightSet_) s += std::string(" ") + name(weight_);
    if (design_ != FontDesign::Default) s += std::string(" ") + designName(design_);
    return s;
}

} // namespace plat::ui
