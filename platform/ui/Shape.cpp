#include "platform/ui/Shape.h"

#include <cstdio>

namespace plat::ui {

std::string Shape::description() const {
    std::string s;
    char buffer[48];
    switch (kind) {
    case Kind::Rectangle:
        s = "rectangle";
        break;
    case Kind::RoundedRectangle:
        std::snprintf(buffer, sizeof buffer, "roundedRectangle(%g%s)", cornerRadius,
                      continuousCorners ? ", continuous" : "");
        s = buffer;
        break;
    case Kind::Capsule:
        s = "capsule";
        break;
    case Kind::Circle:
        s = "circle";
        break;
    }
    if (fill) s += " fill " + fill->description();
    if (stroke) {
        std::snprintf(buffer, sizeof buffer, " %g", lineWidth);
        s += " stroke " + stroke->description() + buffer + (strokeInside ? " inside" : "");
    }
    return s;
}

} // namespace plat::ui
