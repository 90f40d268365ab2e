// One land polygon laid out flat in the unit square, ready to draw. The source data describes
// the globe, where a ring may cross the antimeridian or go round a pole; here every ring is made
// continuous instead (longitudes run on past ±180°, so x may leave [0, 1] and the draw code shows
// the copies the view needs) and a ring round a pole is closed along the projection's edge.
#pragma once

#include "platform/map/RingClipper.h"
#include "platform/map/TopoJSON.h"

#include <vector>

namespace plat::map {

struct LandShape {
    // The outline, then holes; rings are implicitly closed and filled even-odd.
    std::vector<MapRing> rings;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;

    // The flat shape of a decoded polygon.
    static LandShape fromPolygon(const GeoPolygon& polygon);
    // Whether a unit-square point (x taken modulo 1) lies inside the filled area.
    bool contains(Point unit) const;
};

} // namespace plat::map
