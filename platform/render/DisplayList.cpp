#include "platform/render/DisplayList.h"

#include <algorithm>
#include <cmath>

namespace plat::render {

Rect Rect::intersection(const Rect& other) const {
    const float left = std::max(x, other.x);
    const float top = std::max(y, other.y);
    const float right = std::min(maxX(), other.maxX());
    const float bottom = std::min(maxY(), other.maxY());
    if (right <= left || bottom <= top) return {left, top, 0, 0};
    return {left, top, right - left, bottom - top};
}

Color Color::rgb(uint32_t hex, float alpha) {
    return {static_cast<float>((hex >> 16) & 0xFF) / 255.0f, static_cast<float>((hex >> 8) & 0xFF) / 255.0f,
            static_cast<float>(hex & 0xFF) / 255.0f, alpha};
}

namespace {

uint32_t channel(float v) {
    if (!(v > 0.0f)) return 0; // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<uint32_t>(std::lround(v * 255.0f));
}

} // namespace

uint32_t Color::packed() const {
    return (channel(a) << 24) | (channel(b) << 16) | (channel(g) << 8) | channel(r);
}

bool DisplayList::animates() const {
    return std::any_of(commands_.begin(), commands_.end(),
                       [](const Command& c) { return std::holds_alternative<cmd::Spinner>(c); });
}

const cmd::Alert* DisplayList::alert() const {
    for (auto it = commands_.rbegin(); it != commands_.rend(); ++it) {
        if (const auto* a = std::get_if<cmd::Alert>(&*it)) return a;
    }
    return nullptr;
}

bool DisplayList::clipsBalanced() const {
    int depth = 0;
    for (const Command& c : commands_) {
        if (std::holds_alternative<cmd::PushClip>(c)) ++depth;
        if (std::holds_alternative<cmd::PopClip>(c) && --depth < 0) return false;
    }
    return depth == 0;
}

DisplayList& DisplayList::fillRect(Rect r, Color c, float radius) {
    add(cmd::FillRect{r, c, radius});
    return *this;
}

DisplayList& DisplayList::strokeRect(Rect r, Color c, float radius, float width) {
    add(cmd::StrokeRect{r, c, radius, width});
    return *this;
}

DisplayList& DisplayList::text(Point origin, std::string s, Font f, Color c) {
    cmd::Text t;
    t.origin = origin;
    t.text = std::move(s);
    t.font = f;
    t.color = c;
    add(std::move(t));
    return *this;
}

DisplayList& DisplayList::symbol(Rect r, std::string name, Color c) {
    add(cmd::Symbol{r, std::move(name), c});
    return *this;
}

DisplayList& DisplayList::image(Rect r, std::string name) {
    add(cmd::Image{r, std::move(name), Color{1, 1, 1, 1}});
    return *this;
}

DisplayList& DisplayList::pushClip(Rect r) {
    add(cmd::PushClip{r});
    return *this;
}

DisplayList& DisplayList::popClip() {
    add(cmd::PopClip{});
    return *this;
}

} // namespace plat::render
