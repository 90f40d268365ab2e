#include "platform/map/MercatorProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plat::map {

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kDegrees = 180.0 / kPi;

double unitY(double clampedLatitude) {
    double phi = clampedLatitude / kDegrees;
    // Rounding at the clamp latitudes lands a hair outside the square; keep it inside.
    return std::clamp(0.5 - std::log(std::tan(kPi / 4 + phi / 2)) / (2 * kPi), 0.0, 1.0);
}
} // namespace

double MercatorProjection::clampLatitude(double latitude) {
    if (std::isnan(latitude)) return 0;
    return std::clamp(latitude, -kMaxLatitude, kMaxLatitude);
}

double MercatorProjection::wrapLongitude(double longitude) {
    if (!std::isfinite(longitude)) return 0;
    if (longitude >= -180.0 && longitude < 180.0) return longitude;
    double wrapped = std::fmod(longitude + 180.0, 360.0);
    if (wrapped < 0) wrapped += 360.0;
    // fmod of a value just below a multiple of 360 can round up to 360 itself.
    if (wrapped >= 360.0) wrapped = 0;
    return wrapped - 180.0;
}

double MercatorProjection::wrapUnitX(double x) {
    if (!std::isfinite(x)) return 0;
    double wrapped = x - std::floor(x);
    return wrapped >= 1.0 ? 0.0 : wrapped;
}

std::optional<Point> MercatorProjection::project(GeoCoordinate coordinate) {
    if (!coordinate.isFinite()) return std::nullopt;
    double x = (wrapLongitude(coordinate.longitude) + 180.0) / 360.0;
    return Point{x, unitY(clampLatitude(coordinate.latitude))};
}

Point MercatorProjection::projectUnwrapped(double latitude, double longitude) {
    return Point{(longitude + 180.0) / 360.0, unitY(clampLatitude(latitude))};
}

GeoCoordinate MercatorProjection::unproject(Point unit) {
    double x = wrapUnitX(unit.x);
    double y = std::isnan(unit.y) ? 0.5 : std::clamp(unit.y, 0.0, 1.0);
    double latitude = std::atan(std::sinh(kPi * (1 - 2 * y))) * kDegrees;
    return GeoCoordinate{clampLatitude(latitude), x * 360.0 - 180.0};
}

std::optional<WorldRect> MercatorProjection::worldRect(const CoordinateRegion& region) {
    if (!region.isValid()) return std::nullopt;
    auto center = project(region.center);
    if (!center) return std::nullopt;
    double latitude = clampLatitude(region.center.latitude);
    double halfLat = std::min(region.span.latitudeDelta, 180.0) / 2;
    double top = unitY(clampLatitude(latitude + halfLat));
    double bottom = unitY(clampLatitude(latitude - halfLat));
    // Mercator stretches the span unevenly about its centre; the rectangle stays centred on the
    // region's centre and is tall enough to show both edges.
    double halfHeight = std::max(center->y - top, bottom - center->y);
    double width = std::min(region.span.longitudeDelta, 360.0) / 360.0;
    return WorldRect{*center, {width, 2 * halfHeight}};
}

CoordinateRegion MercatorProjection::region(const WorldRect& rect) {
    GeoCoordinate center = unproject(rect.center);
    double north = unproject({rect.center.x, rect.minY()}).latitude;
    double south = unproject({rect.center.x, rect.maxY()}).latitude;
    double width = std::isfinite(rect.size.width) ? std::clamp(rect.size.width, 0.0, 1.0) : 0.0;
    return CoordinateRegion{center, {north - south, width * 360.0}};
}

} // namespace plat::map
