// A marker on the map (one per region): where it stands, its optional title and symbol, its tint.
// Plain value; the view builds the list anew whenever what it shows changes.
#pragma once

#include "platform/geometry/Geometry.h"
#include "platform/geometry/RGBA.h"
#include "platform/map/GeoCoordinate.h"

#include <cstdint>
#include <string>

namespace plat::map {

// The tints markers are drawn in.
struct MarkerTint {
    static constexpr RGBA gray() { return {0.56f, 0.56f, 0.58f, 1}; }
    static constexpr RGBA green() { return {0.20f, 0.78f, 0.35f, 1}; }
    static constexpr RGBA red() { return {1.00f, 0.23f, 0.19f, 1}; }
    static constexpr RGBA blue() { return {0.00f, 0.48f, 1.00f, 1}; }
};

struct MapMarker {
    // The caller's tag (a region id), reported back by hit tests.
    int64_t id = 0;
    GeoCoordinate coordinate;
    // Shown next to the marker; empty for none.
    std::string title;
    RGBA tint = MarkerTint::red();
    // A named symbol drawn inside the marker ("checkmark.shield.fill"); empty for a plain marker.
    std::string symbolName;
    // Drawn above the markers that are not raised (the region in use among its neighbours), below
    // the map's own selection.
    bool raised = false;

    bool operator==(const MapMarker&) const = default;
};

// A marker placed in view pixels. `anchor` is the point on the map the marker stands for; the
// marker's round head is drawn centred `kHeadOffset` pixels above it with radius `kHeadRadius`.
struct PlacedMarker {
    static constexpr double kHeadRadius = 12.0;
    static constexpr double kHeadOffset = 16.0;

    MapMarker marker;
    Point anchor;
    // The map's own selection (a clicked marker); the renderer may draw it larger.
    bool selected = false;
    Point head() const { return {anchor.x, anchor.y - kHeadOffset}; }
};

} // namespace plat::map
