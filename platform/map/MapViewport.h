// What a map view shows at one moment: a requested unit-square rectangle fitted into a view of a
// given pixel size (the whole rectangle stays visible, the view's aspect decides the rest) and
// clamped to the world (never zoomed out past one world in either direction, never into empty
// space above or below it, never deeper than kMaxZoomFactor). Converts between view pixels, the
// unit square and coordinates. An immutable value; safe on any thread.
#pragma once

#include "platform/map/CoordinateRegion.h"
#include "platform/map/WorldRect.h"

namespace plat::map {

class MapViewport {
public:
    // How far the camera may zoom in, relative to the view's shorter side covering the world.
    static constexpr double kMaxZoomFactor = 8192.0;

    // An empty viewport: draws nothing and maps every point to the centre of the world.
    MapViewport() = default;
    // Fits `requested` into `viewSize`. A requested rectangle with a zero, negative or non-finite
    // extent zooms in as far as allowed; a non-finite centre falls back to the world's centre.
    MapViewport(Size viewSize, WorldRect requested);

    const Size& viewSize() const { return viewSize_; }
    bool isEmpty() const { return viewSize_.isEmpty(); }
    // View pixels per unit of the world square.
    double scale() const { return scale_; }
    // The zoom level in the common tile convention: 0 shows the world in 256 pixels.
    double zoomLevel() const;
    // The unit-square rectangle the view shows; its centre's x lies in [0, 1).
    const WorldRect& visibleRect() const { return visible_; }
    // The same as a coordinate region.
    CoordinateRegion visibleRegion() const;

    // A unit-square point (no wrapping applied) in view pixels.
    Point viewPoint(Point unit) const;
    // The view pixel of a coordinate, using the copy of the world nearest the view's centre so a
    // place is found whichever side of the antimeridian the camera looks at. None when the
    // coordinate is not finite.
    std::optional<Point> viewPoint(GeoCoordinate coordinate) const;
    // The unit-square point under a view pixel (x not wrapped).
    Point unitPoint(Point view) const;
    // The coordinate under a view pixel (longitude wrapped, latitude clamped).
    GeoCoordinate coordinate(Point view) const;

private:
    Size viewSize_;
    double scale_ = 0;
    WorldRect visible_{{0.5, 0.5}, {1, 1}};
};

} // namespace plat::map
