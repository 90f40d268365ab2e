// What the tree painter hands down from a node to its children: the opacity of the ancestors, the
// innermost clip shape, the underline and role colours, the colour scheme, and where the painted
// window's origin lies among the toolkit's frames (a sheet's own window starts at the sheet).
#pragma once

#include "platform/geometry/Geometry.h"
#include "platform/geometry/RGBA.h"
#include "platform/ui/NodeRef.h"
#include "platform/ui/Styles.h"

#include <optional>

namespace plat::render {

struct PaintContext {
    float opacity = 1;
    double clipRadius = 0; // the corner radius of the innermost clip shape
    Rect clipFrame;        // and its frame
    bool underline = false;
    std::optional<RGBA> underlineColor;
    std::optional<RGBA> roleColor; // a destructive button's text
    ui::ColorScheme scheme = ui::ColorScheme::Light;
    Point origin; // subtracted from every frame

    // A toolkit frame in the painted window's points.
    Rect inWindow(const Rect& frame) const {
        return {frame.x - origin.x, frame.y - origin.y, frame.width, frame.height};
    }
    // The colour `node`'s text and symbols are drawn in, faded by the opacity.
    RGBA foreground(const ui::NodeRef& node) const;
};

} // namespace plat::render
