// Everything a renderer needs to paint one frame of the map, already in view pixels: the water
// colour to clear with, the land shapes (outline and hole rings, filled even-odd, optionally
// stroked as coastline) and the placed markers, drawn in that order.
#pragma once

#include "platform/map/MapMarker.h"
#include "platform/map/ScanlineFill.h"

#include <vector>

namespace plat::map {

struct MapStyle {
    RGBA water{0.67f, 0.80f, 0.91f, 1};
    RGBA land{0.95f, 0.93f, 0.88f, 1};
    RGBA coastline{0.62f, 0.66f, 0.70f, 1};
    // Coastline stroke width in pixels; 0 for none.
    double coastlineWidth = 1.0;
};

struct MapDrawList {
    Size viewSize;
    MapStyle style;
    std::vector<MapShape> land;
    std::vector<PlacedMarker> markers;

    // The land fill as pixel-row spans, for renderers that cannot fill concave polygons.
    std::vector<FillSpan> landSpans() const { return ScanlineFill::spans(land, viewSize); }
};

} // namespace plat::map
