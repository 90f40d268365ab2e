// A rectangle of the map's Mercator unit square, given by its centre and extent. In the unit
// square (0, 0) is the north-west corner of the world at 180° W and (1, 1) the south-east one; points
// and sizes are the shared ones of Geometry.h (x to the right, y downwards), whether in view pixels
// or in the unit square, as each function says.
#pragma once

#include "platform/geometry/Geometry.h"

namespace plat::map {

// The centre's x may lie outside [0, 1) while a camera moves across the antimeridian; the world
// repeats every 1.0 in x.
struct WorldRect {
    Point center;
    Size size;
    bool operator==(const WorldRect&) const = default;
    double minX() const { return center.x - size.width / 2; }
    double maxX() const { return center.x + size.width / 2; }
    double minY() const { return center.y - size.height / 2; }
    double maxY() const { return center.y + size.height / 2; }
};

} // namespace plat::map
