#include "platform/render/DisplayList.h"

#include <algorithm>

namespace plat::render {

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

DisplayList& DisplayList::fillRect(Rect r, RGBA c, double radius) {
    add(cmd::FillRect{r, c, radius});
    return *this;
}

DisplayList& DisplayList::strokeRect(Rect r, RGBA c, double radius, double width) {
    add(cmd::StrokeRect{r, c, radius, width});
    return *this;
}

DisplayList& DisplayList::text(Point origin, std::string s, Font f, RGBA c) {
    cmd::Text t;
    t.origin = origin;
    t.text = std::move(s);
    t.font = f;
    t.color = c;
    add(std::move(t));
    return *this;
}

DisplayList& DisplayList::symbol(Rect r, std::string name, RGBA c) {
    add(cmd::Symbol{r, std::move(name), c});
    return *this;
}

DisplayList& DisplayList::image(Rect r, std::string name) {
    add(cmd::Image{r, std::move(name), RGBA{1, 1, 1, 1}});
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
