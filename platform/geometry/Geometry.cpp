#include "platform/geometry/Geometry.h"

#include <algorithm>
#include <cstdio>

namespace plat {

Rect Rect::intersection(const Rect& other) const {
    const double left = std::max(x, other.x);
    const double top = std::max(y, other.y);
    const double right = std::min(maxX(), other.maxX());
    const double bottom = std::min(maxY(), other.maxY());
    if (right <= left || bottom <= top) return {left, top, 0, 0};
    return {left, top, right - left, bottom - top};
}

namespace {
std::string number(double v) {
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
    std::string s(buffer);
    // Trailing zeros say nothing in a dump: "12.50" -> "12.5", "12.00" -> "12".
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}
} // namespace

std::string describe(const Size& s) {
    return number(s.width) + "x" + number(s.height);
}

std::string describe(const Rect& r) {
    return number(r.x) + "," + number(r.y) + " " + describe(r.size());
}

} // namespace plat
