// The shapes that backgrounds, overlays and clip shapes use, with how they are painted. A shape
// drawn as a view fills the space it is offered.
#pragma once

#include "platform/ui/Color.h"

#include <optional>
#include <string>

namespace plat::ui {

struct Shape {
    enum class Kind { Rectangle, RoundedRectangle, Capsule, Circle };
    Kind kind = Kind::Rectangle;
    double cornerRadius = 0;
    bool continuousCorners = false;
    // How the shape is painted when it is a view: filled, stroked centred on its outline, or
    // stroked inside it. Neither set: filled with the foreground colour.
    std::optional<Color> fill{};
    std::optional<Color> stroke{};
    double lineWidth = 1;
    bool strokeInside = false;

    static Shape rectangle() { return {}; }
    static Shape roundedRectangle(double radius, bool continuous = false) {
        Shape s;
        s.kind = Kind::RoundedRectangle;
        s.cornerRadius = radius;
        s.continuousCorners = continuous;
        return s;
    }
    static Shape capsule() {
        Shape s;
        s.kind = Kind::Capsule;
        return s;
    }
    static Shape circle() {
        Shape s;
        s.kind = Kind::Circle;
        return s;
    }
    Shape filled(Color c) const {
        Shape s = *this;
        s.fill = c;
        return s;
    }
    Shape stroked(Color c, double width = 1) const {
        Shape s = *this;
        s.stroke = c;
        s.lineWidth = width;
        s.strokeInside = false;
        return s;
    }
    Shape strokeBorder(Color c, double width = 1) const {
        Shape s = stroked(c, width);
        s.strokeInside = true;
        return s;
    }

    // "roundedRectangle(8, continuous) stroke blue 2 inside".
    std::string description() const;
    bool operator==(const Shape&) const = default;
};

} // namespace plat::ui
