// Frames on the desktop as the window layer measures them: a rectangle's origin is its lower-left
// corner in screen coordinates and y grows upwards. A distinct type from the window points of
// Geometry.h, so a y-up frame never passes for a y-down rectangle; sizes have no direction and are
// the shared Size.
#pragma once

#include "platform/geometry/Geometry.h"

#include <cmath>

namespace plat {

struct ScreenPoint {
    double x = 0, y = 0;
    bool operator==(const ScreenPoint&) const = default;
};

struct ScreenRect {
    ScreenPoint origin;
    Size size;
    bool operator==(const ScreenRect&) const = default;
    double maxY() const { return origin.y + size.height; }
    bool isValid() const { return std::isfinite(origin.x) && std::isfinite(origin.y) && size.isValid(); }
};

} // namespace plat
