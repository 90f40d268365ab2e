#include "app/views/MapViewForMacOS14.h"

#include "app/views/MapView.h"
#include "platform/map/MapCamera.h"
#include "platform/ui/MapContent.h"

using namespace plat::ui;
using plat::map::CoordinateRegion;

CoordinateRegion MapViewForMacOS14::initialPosition() {
    return CoordinateRegion{{54.0, 15.0}, {180.0, 360.0}};
}

CoordinateRegion MapViewForMacOS14::selectedPosition(plat::map::GeoCoordinate center) {
    return CoordinateRegion{center, {20.0, 40.0}};
}

std::vector<plat::map::MapMarker> MapViewForMacOS14::markers(const std::vector<VPNRegion>& regions,
                                                             std::optional<int64_t> current) {
    std::vector<plat::map::MapMarker> out;
    out.reserve(regions.size());
    for (const VPNRegion& region : regions) {
        plat::map::MapMarker marker = MapView::plainMarker(region, current);
        marker.title = region.city;
        if (current && *current == region.id) marker.symbolName = "checkmark.shield.fill";
        out.push_back(std::move(marker));
    }
    return out;
}

AnyView MapViewForMacOS14::body() const {
    std::shared_ptr<VelmoraController> controller = ctrl.get();
    MapContent content;
    content.position = position.binding();
    content.markers = markers(controller->regions.get(), controller->currentRegion.get());
    content.selection = selection.binding();
    content.interactive = true;
    // Moves to a new selection are eased like the platform's default animation.
    content.animation = plat::map::MapCamera::kDefaultAnimationDuration;
    return Map(std::move(content))
        .onReceive(controller->currentRegion, [controller, position = position, selection = selection](
                                                  const std::optional<int64_t>& regionId) {
            auto center = MapView::selectedCoordinate(*controller, regionId);
            if (!center) return;
            position.set(selectedPosition(*center));
            selection.set(*regionId);
        });
}
