// Turns filled shapes into horizontal pixel-row spans, so a renderer without a concave-polygon
// fill (one that can only draw rectangles or convex shapes) can still paint land exactly. Shapes
// are filled by the even-odd rule, so holes stay open. Pure functions.
#pragma once

#include "platform/geometry/Geometry.h"
#include "platform/map/RingClipper.h"

#include <vector>

namespace plat::map {

// A filled shape: an outline ring and any hole rings, all in view pixels.
struct MapShape {
    std::vector<MapRing> rings;
};

// The filled part of one pixel row: from x0 to x1 (x0 < x1) between y and y + 1.
struct FillSpan {
    int y = 0;
    double x0 = 0;
    double x1 = 0;
};

class ScanlineFill {
public:
    // The spans of every shape inside a view of `viewSize`, sampled at each row's middle, clipped to
    // [0, width], ordered by shape and then by row. Non-finite points make their edges count as
    // absent.
    static std::vector<FillSpan> spans(const std::vector<MapShape>& shapes, Size viewSize);
};

} // namespace plat::map
