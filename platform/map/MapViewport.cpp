#include "platform/map/MapViewport.h"

#include "platform/map/MercatorProjection.h"

#include <algorithm>
#include <cmath>

namespace plat::map {

MapViewport::MapViewport(Size viewSize, WorldRect requested) : viewSize_(viewSize) {
    if (viewSize_.isEmpty()) {
        viewSize_ = {};
        return;
    }
    double w = viewSize_.width;
    double h = viewSize_.height;
    // One world must fill the view in both directions, so the longer side sets the smallest scale.
    double minScale = std::max(w, h);
    double maxScale = std::max(minScale, std::min(w, h) * kMaxZoomFactor);

    double wanted = maxScale;
    const Size& extent = requested.size;
    if (std::isfinite(extent.width) && extent.width > 0) wanted = std::min(wanted, w / extent.width);
    if (std::isfinite(extent.height) && extent.height > 0) wanted = std::min(wanted, h / extent.height);
    scale_ = std::clamp(wanted, minScale, maxScale);

    Point center = requested.center;
    if (!std::isfinite(center.x) || !std::isfinite(center.y)) center = {0.5, 0.5};
    Size visibleSize{w / scale_, h / scale_};
    double halfHeight = visibleSize.height / 2;
    center.y = std::clamp(center.y, halfHeight, 1.0 - halfHeight);
    center.x = MercatorProjection::wrapUnitX(center.x);
    visible_ = WorldRect{center, visibleSize};
}

double MapViewport::zoomLevel() const {
    return scale_ > 0 ? std::log2(scale_ / 256.0) : 0.0;
}

CoordinateRegion MapViewport::visibleRegion() const {
    return MercatorProjection::region(visible_);
}

Point MapViewport::viewPoint(Point unit) const {
    return Point{(unit.x - visible_.minX()) * scale_, (unit.y - visible_.minY()) * scale_};
}

std::optional<Point> MapViewport::viewPoint(GeoCoordinate coordinate) const {
    auto unit = MercatorProjection::project(coordinate);
    if (!unit) return std::nullopt;
    // Pick the repetition of the world whose copy of the point lies within half a world of the
    // centre.
    unit->x += std::round(visible_.center.x - unit->x);
    return viewPoint(*unit);
}

Point MapViewport::unitPoint(Point view) const {
    if (scale_ <= 0) return visible_.center;
    return Point{visible_.minX() + view.x / scale_, visible_.minY() + view.y / scale_};
}

GeoCoordinate MapViewport::coordinate(Point view) const {
    return MercatorProjection::unproject(unitPoint(view));
}

} // namespace plat::map
