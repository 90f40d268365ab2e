// A font request: a text style of the system (large title, headline, footnote, ...) or an explicit
// system font of a size, with weight and design. The renderer and the text metrics turn it into
// glyphs; the point sizes of the text styles are fixed here so layout is the same everywhere.
#pragma once

#include <string>

namespace plat::ui {

enum class FontWeight { UltraLight, Thin, Light, Regular, Medium, Semibold, Bold, Heavy, Black };
enum class FontDesign { Default, Rounded, Monospaced, Serif };

class Font {
public:
    enum class Style {
        Body,
        LargeTitle,
        Title,
        Title2,
        Title3,
        Headline,
        Subheadline,
        Callout,
        Footnote,
        Caption,
        Custom
    };

    // The body style.
    Font() = default;
    static Font body() { return Font(Style::Body); }
    static Font largeTitle() { return Font(Style::LargeTitle); }
    static Font title() { return Font(Style::Title); }
    static Font title2() { return Font(Style::Title2); }
    static Font title3() { return Font(Style::Title3); }
    static Font headline() { return Font(Style::Headline); }
    static Font subheadline() { return Font(Style::Subheadline); }
    static Font callout() { return Font(Style::Callout); }
    static Font footnote() { return Font(Style::Footnote); }
    static Font caption() { return Font(Style::Caption); }
    static Font system(double size, FontWeight weight = FontWeight::Regular,
                       FontDesign design = FontDesign::Default);

    // The same font with another weight.
    Font weight(FontWeight w) const;
    Font bold() const { return weight(FontWeight::Bold); }

    Style style() const { return style_; }
    double size() const;
    FontWeight fontWeight() const;
    FontDesign design() const { return design_; }

    // "headline", "system 18 regular rounded", "largeTitle heavy".
    std::string description() const;
    bool operator==(const Font&) const = default;

private:
    explicit Font(Style s) : style_(s) {}
    Style style_ = Style::Body;
    double size_ = 0;        // Custom only
    bool weightSet_ = false; // an explicit weight overrides the style's own
    FontWeight weight_ = FontWeight::Regular;
    FontDesign design_ = FontDesign::Default;
};

const char* name(FontWeight w);

} // namespace plat::ui
