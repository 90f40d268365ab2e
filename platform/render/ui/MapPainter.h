// Paints one frame of the world map into a display list: water, land and coastlines, then the
// markers as pins with a round head, an optional symbol and an optional title. Water, land, coasts
// and the pins are drawn into one picture of the map's pixels (thousands of row spans, coast
// segments and pin shapes as one image, which the window draws as a single texture); symbols and
// titles go over it. Pure drawing; main thread only like the painter.
#pragma once

#include "platform/map/MapDrawList.h"
#include "platform/render/DisplayList.h"

#include <memory>

namespace plat::render {

class MapPainter {
public:
    // Draws `frame` (in the map's own pixels) into `area` of `list`, clipped to it, every colour
    // multiplied by `opacity`. `background` is the frame's picture as made by background(); none
    // makes it here.
    static void paint(const map::MapDrawList& frame, Rect area, DisplayList& list, float opacity = 1,
                      std::shared_ptr<const Bitmap> background = nullptr);
    // Water, land, coastlines and pins of `frame` as a picture of its view size.
    static std::shared_ptr<const Bitmap> background(const map::MapDrawList& frame);

    // The head radius of a marker as drawn: the map's own selection shows larger.
    static double headRadius(const map::PlacedMarker& marker);
};

} // namespace plat::render
