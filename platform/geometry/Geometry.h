// Points, sizes and rectangles in window points: the origin at the top left, y grows downwards.
// The toolkit lays out in them, the renderer draws in them and the map places its markers in them.
// A rectangle of the shell's screen frames, whose y grows upwards, is a ScreenRect instead.
#pragma once

#include <cmath>
#include <string>

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
    // True when either side is zero, negative or not finite: nothing can be drawn into it.
    bool isEmpty() const { return !(width > 0 && height > 0 && width < 1e9 && height < 1e9); }
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    Point origin() const { return {x, y}; }
    Point center() const { return {x + width / 2, y + height / 2}; }
    Size size() const { return {width, height}; }
    // Half-open on the far edges, so two neighbours never both contain a shared edge point.
    bool contains(Point p) const { return p.x >= x && p.y >= y && p.x < maxX() && p.y < maxY(); }
    bool operator==(const Rect&) const = default;
};

// "x,y wxh" with at most two decimals, for dumps and messages.
std::string describe(const Rect& r);
std::string describe(const Size& s);

} // namespace plat
