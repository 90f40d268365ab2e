// The colours the window's controls are drawn in, and how a toolkit colour (plat::ui::Color, which
// may name a semantic or asset colour) shows as a plain RGBA value in the light or dark scheme.
#pragma once

#include "platform/geometry/RGBA.h"
#include "platform/ui/Color.h"
#include "platform/ui/Styles.h"

namespace plat::render::palette {

inline constexpr RGBA accent = RGBA::rgb(0x007AFF);
inline constexpr RGBA separator = RGBA::rgb(0xD1D1D6);
inline constexpr RGBA bezel = RGBA::rgb(0xE5E5EA);
inline constexpr RGBA panel = RGBA::rgb(0xF2F2F7);
inline constexpr RGBA destructive = RGBA::rgb(0xFF3B30);

// The colour a toolkit colour shows as in `scheme`; asset colours come from the bundle's colour
// assets, falling back to the colour's own components.
RGBA resolve(const ui::Color& color, ui::ColorScheme scheme);

// `c` with its alpha multiplied by `opacity`.
inline RGBA faded(RGBA c, float opacity) {
    return c.withAlpha(c.a * opacity);
}

} // namespace plat::render::palette
