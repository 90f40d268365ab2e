#include "app/views/MapViewLegacy.h"

#include "app/views/MapView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/MapContent.h"

using namespace plat::ui;
using plat::map::CoordinateRegion;

CoordinateRegion MapViewLegacy::initialRegion() {
    return CoordinateRegion::makeWithDistance({54.0, 15.0}, 20'000'000, 20'000'000);
}

CoordinateRegion MapViewLegacy::selectedRegion(plat::map::GeoCoordinate center) {
    return CoordinateRegion::makeWithDistance(center, 10'000'000, 10'000'000);
}

std::vector<plat::map::MapMarker> MapViewLegacy::markers(const std::vector<VPNRegion>& regions,
                                                         std::optional<int64_t> current) {
    std::vector<plat::map::MapMarker> out;
    out.reserve(regions.size());
    for (const VPNRegion& region : regions)
        out.push_back(MapView::plainMarker(region, current));
    return out;
}

AnyView MapViewLegacy::body() const {
    std::shared_ptr<VelmoraController> controller = ctrl.get();
    MapContent content;
    content.position = mapRegion.binding();
    content.markers = markers(controller->regions.get(), controller->currentRegion.get());
    content.interactive = true;
    return Map(std::move(content))
        .onReceive(controller->currentRegion, [controller, mapRegion = mapRegion](
                                                  const std::optional<int64_t>& regionId) {
            auto center = MapView::selectedCoordinate(*controller, regionId);
            if (!center) return;
            // The region is set one turn later; the state outlives a map that is gone by then.
            plat::mainQueue().async([mapRegion, center = *center] { mapRegion.set(selectedRegion(center)); });
        });
}
