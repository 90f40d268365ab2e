#include "platform/map/LandShape.h"

#include "platform/map/MercatorProjection.h"

#include <algorithm>
#include <cmath>

namespace plat::map {

namespace {

// Longitudes of a closed ring with every step taken the short way round, so a ring that crosses
// the antimeridian stays in one piece. The end point repeats the start, shifted by the number of
// times the ring went round the world.
std::vector<double> unwrappedLongitudes(const GeoPolygon::Ring& ring) {
    std::vector<double> out;
    out.reserve(ring.size());
    for (const GeoCoordinate& point : ring) {
        double longitude = point.longitude;
        if (!out.empty()) {
            double step = longitude - out.back();
            longitude = out.back() + (step - 360.0 * std::round(step / 360.0));
        }
        out.push_back(longitude);
    }
    return out;
}

// `reference` is where the ring should sit (the outline's middle for holes); none for an outline.
MapRing flatten(const GeoPolygon::Ring& ring, std::optional<double> reference, double* middle) {
    std::vector<double> longitudes = unwrappedLongitudes(ring);
    std::vector<GeoCoordinate> points;
    points.reserve(ring.size() + 2);
    double turn = longitudes.back() - longitudes.front();
    // A ring spanning more than one and a half worlds (one that winds round the globe repeatedly
    // or zigzags across it) outlines no real area and would need endless copies to draw.
    auto [lowest, highest] = std::minmax_element(longitudes.begin(), longitudes.end());
    if (*highest - *lowest > 540.0) return {};
    for (size_t i = 0; i + 1 < ring.size(); ++i)
        points.push_back({ring[i].latitude, longitudes[i]});
    if (std::fabs(turn) > 180.0) {
        // The ring goes round a pole: close it along the pole on the ring's side of the equator.
        double latitudeSum = 0;
        for (const auto& p : ring)
            latitudeSum += p.latitude;
        double pole = latitudeSum < 0 ? -90.0 : 90.0;
        points.push_back({ring.back().latitude, longitudes.back()});
        points.push_back({pole, longitudes.back()});
        points.push_back({pole, longitudes.front()});
    }
    // Shift by whole worlds so the ring's middle lies in the primary world (outlines) or next to
    // its outline (holes).
    double mean = 0;
    for (const auto& p : points)
        mean += p.longitude / static_cast<double>(points.size());
    double target = reference ? *reference : 0.0;
    double shift = -360.0 * std::round((mean - target) / 360.0);
    if (middle) *middle = mean + shift;

    MapRing out;
    out.reserve(points.size());
    for (const auto& p : points)
        out.push_back(MercatorProjection::projectUnwrapped(p.latitude, p.longitude + shift));
    return out;
}

bool ringContains(const MapRing& ring, Point p) {
    bool inside = false;
    Point a = ring.back();
    for (const Point& b : ring) {
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (b.x - a.x) * (p.y - a.y) / (b.y - a.y))
            inside = !inside;
        a = b;
    }
    return inside;
}

} // namespace

LandShape LandShape::fromPolygon(const GeoPolygon& polygon) {
    LandShape shape;
    shape.minX = shape.minY = HUGE_VAL;
    shape.maxX = shape.maxY = -HUGE_VAL;
    double outlineMiddle = 0;
    for (const GeoPolygon::Ring& ring : polygon.rings) {
        bool outline = shape.rings.empty();
        MapRing flat;
        if (ring.size() >= 4)
            flat = flatten(ring, outline ? std::nullopt : std::optional<double>(outlineMiddle),
                           outline ? &outlineMiddle : nullptr);
        if (flat.empty()) {
            // Without its outline a polygon has nothing left to draw; a bad hole is just left out.
            if (outline) break;
            continue;
        }
        for (const Point& p : flat) {
            shape.minX = std::min(shape.minX, p.x);
            shape.maxX = std::max(shape.maxX, p.x);
            shape.minY = std::min(shape.minY, p.y);
            shape.maxY = std::max(shape.maxY, p.y);
        }
        shape.rings.push_back(std::move(flat));
    }
    if (shape.rings.empty()) shape.minX = shape.minY = shape.maxX = shape.maxY = 0;
    return shape;
}

bool LandShape::contains(Point unit) const {
    if (rings.empty() || !std::isfinite(unit.x) || !std::isfinite(unit.y)) return false;
    if (unit.y < minY || unit.y > maxY) return false;
    // Try each copy of the point that falls within the shape's horizontal reach.
    for (double x = unit.x + std::ceil(minX - unit.x); x <= maxX; x += 1) {
        bool inside = false;
        for (const MapRing& ring : rings)
            if (ring.size() >= 3 && ringContains(ring, {x, unit.y})) inside = !inside;
        if (inside) return true;
    }
    return false;
}

} // namespace plat::map
