#include "platform/map/MapCamera.h"

#include "platform/map/MercatorProjection.h"

#include <algorithm>
#include <cmath>

namespace plat::map {

namespace {

// Extents change by the same factor in every equal slice of time, so a zoom across many levels
// does not rush through the first ones.
double interpolateExtent(double from, double to, double t) {
    if (from > 0 && to > 0 && std::isfinite(from) && std::isfinite(to)) return from * std::pow(to / from, t);
    return from + (to - from) * t;
}

WorldRect interpolate(const WorldRect& from, const WorldRect& to, double t) {
    // Cross the antimeridian when that is the shorter way round.
    double dx = to.center.x - from.center.x;
    dx -= std::round(dx);
    return WorldRect{{from.center.x + dx * t, from.center.y + (to.center.y - from.center.y) * t},
                     {interpolateExtent(from.size.width, to.size.width, t),
                      interpolateExtent(from.size.height, to.size.height, t)}};
}

} // namespace

MapCamera::MapCamera(CoordinateRegion initial, const plat::Clock& clock) : clock_(clock) {
    auto rect = MercatorProjection::worldRect(initial);
    target_ = rect ? *rect : *MercatorProjection::worldRect(CoordinateRegion::world());
}

double MapCamera::easeInOut(double t) {
    if (!(t > 0)) return 0;
    if (t >= 1) return 1;
    return t < 0.5 ? 4 * t * t * t : 1 - std::pow(-2 * t + 2, 3) / 2;
}

WorldRect MapCamera::currentRect(TimePoint now) const {
    if (!move_) return target_;
    Duration elapsed = now - move_->start;
    if (elapsed >= move_->duration) return target_;
    double t = secondsFromDuration(elapsed) / secondsFromDuration(move_->duration);
    return interpolate(move_->from, target_, easeInOut(t));
}

void MapCamera::moveTo(const WorldRect& rect, Duration animation) {
    TimePoint now = clock_.now();
    if (animation <= Duration::zero()) {
        move_.reset();
        target_ = rect;
        return;
    }
    // Start from what the view shows, not from a request the clamps never let it reach.
    WorldRect from = currentRect(now);
    if (!viewSize_.isEmpty()) from = MapViewport(viewSize_, from).visibleRect();
    move_ = Move{from, now, std::min(animation, plat::maxDuration())};
    target_ = rect;
}

bool MapCamera::setRegion(const CoordinateRegion& region, Duration animation) {
    auto rect = MercatorProjection::worldRect(region);
    if (!rect) return false;
    moveTo(*rect, animation);
    return true;
}

bool MapCamera::setCenter(GeoCoordinate coordinate, Duration animation) {
    auto center = MercatorProjection::project(coordinate);
    if (!center) return false;
    WorldRect rect = viewSize_.isEmpty() ? currentRect(clock_.now()) : viewport().visibleRect();
    rect.center = *center;
    moveTo(rect, animation);
    return true;
}

void MapCamera::setVisibleRect(const WorldRect& rect) {
    if (!std::isfinite(rect.center.x) || !std::isfinite(rect.center.y)) return;
    moveTo(rect, Duration::zero());
}

void MapCamera::stopAnimation() {
    if (!move_) return;
    target_ = currentRect(clock_.now());
    move_.reset();
}

bool MapCamera::isAnimating() const {
    return move_ && clock_.now() - move_->start < move_->duration;
}

MapViewport MapCamera::viewport() const {
    return MapViewport(viewSize_, currentRect(clock_.now()));
}

CoordinateRegion MapCamera::region() const {
    if (viewSize_.isEmpty()) return MercatorProjection::region(currentRect(clock_.now()));
    return viewport().visibleRegion();
}

} // namespace plat::map
