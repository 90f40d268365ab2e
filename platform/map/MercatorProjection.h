// The spherical ("web") Mercator projection between geographic coordinates and the unit square,
// with the latitude clamp that keeps the square square and longitudes wrapped around the world.
// Pure functions; safe on any thread.
#pragma once

#include "platform/map/CoordinateRegion.h"
#include "platform/map/GeoCoordinate.h"
#include "platform/map/WorldRect.h"

#include <optional>

namespace plat::map {

class MercatorProjection {
public:
    // The latitude at which the projected world becomes exactly square.
    static constexpr double kMaxLatitude = 85.05112878;

    // Latitude limited to ±kMaxLatitude; NaN gives 0.
    static double clampLatitude(double latitude);
    // Longitude brought into [-180, 180); NaN and infinities give 0.
    static double wrapLongitude(double longitude);
    // A unit-square x brought into [0, 1).
    static double wrapUnitX(double x);

    // The unit-square point of a coordinate (latitude clamped, longitude wrapped); none when the
    // coordinate is not finite.
    static std::optional<Point> project(GeoCoordinate coordinate);
    // The same for values already known to be finite, without wrapping: longitude 180 maps to
    // x = 1, which keeps polygon edges along the antimeridian in place.
    static Point projectUnwrapped(double latitude, double longitude);
    // The coordinate at a unit-square point; x wraps, y is clamped to [0, 1].
    static GeoCoordinate unproject(Point unit);

    // The unit-square rectangle for a region: centred on the region's centre, as wide as the
    // longitude span and tall enough that both (clamped) latitude edges lie inside. None when the
    // region is not valid.
    static std::optional<WorldRect> worldRect(const CoordinateRegion& region);
    // The region a unit-square rectangle shows: its centre, and the latitudes of its top and
    // bottom edges and longitudes of its sides.
    static CoordinateRegion region(const WorldRect& rect);
};

} // namespace plat::map
