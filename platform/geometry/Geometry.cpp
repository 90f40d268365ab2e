#include "platform/geometry/Geometry.h"

#include <cstdio>

namespace plat {

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
