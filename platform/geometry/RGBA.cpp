#include "platform/geometry/RGBA.h"

#include <cmath>

namespace plat {

namespace {

uint32_t channel(float v) {
    if (!(v > 0.0f)) return 0; // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<uint32_t>(std::lround(v * 255.0f));
}

} // namespace

uint32_t RGBA::packed() const {
    return (channel(a) << 24) | (channel(b) << 16) | (channel(g) << 8) | channel(r);
}

} // namespace plat
