// Cuts polygon rings down to an axis-aligned rectangle, so deep zooms hand the renderer small,
// finite coordinates instead of points millions of pixels away. Pure functions.
#pragma once

#include "platform/geometry/Geometry.h"

#include <vector>

namespace plat::map {

// A ring of points, implicitly closed (the last point joins the first; no repeated end point).
using MapRing = std::vector<Point>;

class RingClipper {
public:
    // The part of `ring` inside [minX, maxX] × [minY, maxY]. Concave rings may come back with
    // zero-width spurs along the rectangle's edges; they enclose no area, so even-odd fills are
    // unchanged and, with the rectangle drawn a little larger than the view, they stay off screen.
    // Empty when fewer than three points remain.
    static MapRing clip(const MapRing& ring, double minX, double minY, double maxX, double maxY);
};

} // namespace plat::map
