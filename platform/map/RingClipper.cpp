#include "platform/map/RingClipper.h"

namespace plat::map {

namespace {

// One pass of the classic edge-by-edge clip: keeps the side of one rectangle edge where
// `inside` holds, adding the crossing points where the ring passes through the edge.
template <typename Inside, typename Cross>
MapRing clipEdge(const MapRing& input, Inside inside, Cross cross) {
    MapRing output;
    if (input.empty()) return output;
    output.reserve(input.size() + 4);
    Point previous = input.back();
    bool previousInside = inside(previous);
    for (const Point& point : input) {
        bool pointInside = inside(point);
        if (pointInside != previousInside) output.push_back(cross(previous, point));
        if (pointInside) output.push_back(point);
        previous = point;
        previousInside = pointInside;
    }
    return output;
}

Point atX(Point a, Point b, double x) {
    double t = (x - a.x) / (b.x - a.x);
    return {x, a.y + (b.y - a.y) * t};
}

Point atY(Point a, Point b, double y) {
    double t = (y - a.y) / (b.y - a.y);
    return {a.x + (b.x - a.x) * t, y};
}

} // namespace

MapRing RingClipper::clip(const MapRing& ring, double minX, double minY, double maxX, double maxY) {
    // The crossing functions divide only when the two points lie on different sides, so the
    // divisor is never zero.
    MapRing out = clipEdge(
        ring, [&](Point p) { return p.x >= minX; }, [&](Point a, Point b) { return atX(a, b, minX); });
    out = clipEdge(
        out, [&](Point p) { return p.x <= maxX; }, [&](Point a, Point b) { return atX(a, b, maxX); });
    out = clipEdge(
        out, [&](Point p) { return p.y >= minY; }, [&](Point a, Point b) { return atY(a, b, minY); });
    out = clipEdge(
        out, [&](Point p) { return p.y <= maxY; }, [&](Point a, Point b) { return atY(a, b, maxY); });
    if (out.size() < 3) out.clear();
    return out;
}

} // namespace plat::map
