// A plain colour value: straight (not premultiplied) sRGB channels with alpha, each 0...1. What the
// renderer draws with, what the map paints its land and pins in, and what a toolkit colour
// (plat::ui::Color, which may name a semantic or asset colour) resolves to.
#pragma once

#include <cstdint>

namespace plat {

struct RGBA {
    float r = 0, g = 0, b = 0, a = 1;

    // 0xRRGGBB.
    static constexpr RGBA rgb(uint32_t hex, float alpha = 1.0f) {
        return {static_cast<float>((hex >> 16) & 0xFF) / 255.0f,
                static_cast<float>((hex >> 8) & 0xFF) / 255.0f, static_cast<float>(hex & 0xFF) / 255.0f,
                alpha};
    }
    RGBA withAlpha(float alpha) const { return {r, g, b, alpha}; }
    // 0xAABBGGRR, the packing the GPU side uses.
    uint32_t packed() const;
    bool operator==(const RGBA&) const = default;
};

} // namespace plat
