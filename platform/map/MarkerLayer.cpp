#include "platform/map/MarkerLayer.h"

#include <algorithm>
#include <cmath>

namespace plat::map {

std::vector<PlacedMarker> MarkerLayer::place(const std::vector<MapMarker>& markers,
                                             const MapViewport& viewport, std::optional<int64_t> selected) {
    std::vector<PlacedMarker> placed;
    if (viewport.isEmpty()) return placed;
    const Size& size = viewport.viewSize();
    const double r = PlacedMarker::kHeadRadius;
    for (const MapMarker& marker : markers) {
        auto anchor = viewport.viewPoint(marker.coordinate);
        if (!anchor) continue;
        PlacedMarker candidate{marker, *anchor, selected && marker.id == *selected};
        Point head = candidate.head();
        bool visible =
            head.x + r >= 0 && head.x - r <= size.width && head.y + r >= 0 && anchor->y - r <= size.height;
        if (visible) placed.push_back(std::move(candidate));
    }
    // Raised markers over the others, the selected one over all; each group keeps its order.
    std::stable_sort(placed.begin(), placed.end(), [](const PlacedMarker& a, const PlacedMarker& b) {
        const int ra = a.selected ? 2 : a.marker.raised ? 1 : 0;
        const int rb = b.selected ? 2 : b.marker.raised ? 1 : 0;
        return ra < rb;
    });
    return placed;
}

std::optional<int64_t> MarkerLayer::hitTest(const std::vector<PlacedMarker>& placed, Point point,
                                            double slop) {
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return std::nullopt;
    if (!(slop >= 0)) slop = 0;
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        Point head = it->head();
        double headReach = PlacedMarker::kHeadRadius + slop;
        if (std::hypot(point.x - head.x, point.y - head.y) <= headReach) return it->marker.id;
        if (std::hypot(point.x - it->anchor.x, point.y - it->anchor.y) <= slop) return it->marker.id;
    }
    return std::nullopt;
}

} // namespace plat::map
