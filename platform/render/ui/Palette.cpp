#include "platform/render/ui/Palette.h"

#include "platform/render/ColorAssets.h"

namespace plat::render::palette {

namespace {
RGBA components(const ui::Color& c, float alpha) {
    return RGBA{static_cast<float>(c.r()), static_cast<float>(c.g()), static_cast<float>(c.b()), alpha};
}
} // namespace

RGBA resolve(const ui::Color& c, ui::ColorScheme scheme) {
    const bool dark = scheme == ui::ColorScheme::Dark;
    const auto a = static_cast<float>(c.alpha());
    switch (c.kind()) {
    case ui::Color::Kind::RGBA:
        return components(c, a);
    case ui::Color::Kind::Primary:
        return (dark ? RGBA::rgb(0xFFFFFF) : RGBA::rgb(0x000000)).withAlpha(a * 0.9f);
    case ui::Color::Kind::Secondary:
        return (dark ? RGBA::rgb(0xEBEBF5) : RGBA::rgb(0x3C3C43)).withAlpha(a * 0.6f);
    case ui::Color::Kind::Accent:
        return accent.withAlpha(a);
    case ui::Color::Kind::Clear:
        return RGBA{0, 0, 0, 0};
    case ui::Color::Kind::Asset:
        if (auto named = ColorAssets::shared().color(c.name())) return named->withAlpha(named->a * a);
        return components(c, a);
    }
    return RGBA{0, 0, 0, a};
}

} // namespace plat::render::palette
