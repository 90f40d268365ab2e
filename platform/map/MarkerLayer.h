// Places markers in a viewport and finds the marker under a pointer. Pure functions.
#pragma once

#include "platform/map/MapMarker.h"
#include "platform/map/MapViewport.h"

#include <optional>
#include <vector>

namespace plat::map {

class MarkerLayer {
public:
    // The markers that show in `viewport`, in the given order (later ones are drawn on top) except
    // that raised markers are moved above the others and the marker tagged `selected` is flagged
    // and moved to the top. Each stands at the copy of
    // its place nearest the view's centre. Markers with non-finite coordinates and markers whose
    // head lies wholly outside the view are left out.
    static std::vector<PlacedMarker> place(const std::vector<MapMarker>& markers, const MapViewport& viewport,
                                           std::optional<int64_t> selected = std::nullopt);

    // The topmost placed marker whose head (or the anchor point itself, within `slop` pixels)
    // contains `point`; none when the point misses every marker.
    static std::optional<int64_t> hitTest(const std::vector<PlacedMarker>& placed, Point point,
                                          double slop = 4.0);
};

} // namespace plat::map
