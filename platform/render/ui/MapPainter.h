// Paints one frame of the world map into a display list: water, land (as pixel-row spans, since the
// display list fills only convex shapes), coastlines, then the markers as pins with a round head,
// an optional symbol and an optional title. Pure drawing; main thread only like the painter.
#pragma once

#include "platform/map/MapDrawList.h"
#include "platform/render/DisplayList.h"

namespace plat::render {

class MapPainter {
public:
    // Draws `frame` (in the map's own pixels) into `area` of `list`, clipped to it, every colour
    // multiplied by `opacity`.
    static void paint(const map::MapDrawList& frame, Rect area, DisplayList& list, float opacity = 1);

    static Color color(const map::MapColor& c, float opacity = 1) {
        return Color{c.r, c.g, c.b, c.a * opacity};
    }
    // The head radius of a marker as drawn: the map's own selection shows larger.
    static float headRadius(const map::PlacedMarker& marker);
};

} // namespace plat::render
