// Points, sizes and rectangles of the desktop, in points. A rectangle's origin is its lower-left
// corner in screen coordinates (y grows upwards), as the window layer measures frames.
#pragma once

#include <cmath>

namespace plat {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
    // True when both sides are finite and not negative: the only sizes a window accepts.
    bool isValid() const {
        return std::isfinite(width) && std::isfinite(height) && width >= 0 && height >= 0;
    }
};

struct Rect {
    Point origin;
    Size size;
    bool operator==(const Rect&) const = default;
    double maxY() const { return origin.y + size.height; }
    bool isValid() const { return std::isfinite(origin.x) && std::isfinite(origin.y) && size.isValid(); }
};

} // namespace plat
