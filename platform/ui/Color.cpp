#include "platform/ui/Color.h"

#include <algorithm>
#include <cstdio>

namespace plat::ui {

namespace {
std::string compact(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3g", v);
    return buffer;
}
} // namespace

Color Color::rgba(double r, double g, double b, double a) {
    auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return {Kind::RGBA, "", clamp(r), clamp(g), clamp(b), clamp(a)};
}

Color Color::named(std::string assetName) {
    return {Kind::Asset, std::move(assetName), 0.5, 0.5, 0.5, 1};
}

Color Color::opacity(double factor) const {
    Color c = *this;
    c.a_ = std::clamp(a_ * factor, 0.0, 1.0);
    return c;
}

std::string Color::description() const {
    std::string base;
    if (kind_ == Kind::Asset)
        base = "asset:" + name_;
    else if (!name_.empty())
        base = name_;
    else
        base = "rgb(" + compact(r_) + "," + compact(g_) + "," + compact(b_) + ")";
    if (kind_ != Kind::Clear && a_ < 1.0) base += "@" + compact(a_);
    return base;
}

} // namespace plat::ui
