#include "app/views/MapView.h"

#include "app/views/MapViewForMacOS14.h"
#include "app/views/MapViewLegacy.h"

#include <atomic>

using namespace plat::ui;

namespace {

std::atomic<bool> legacyMapForTesting{false};

} // namespace

bool MapView::usesCurrentMap() {
    // A distribution's version number says nothing about the map: the toolkit draws titles and
    // symbols, keeps the map's own selection and eases camera moves everywhere.
    return !legacyMapForTesting.load();
}

void MapView::setUsesLegacyMapForTesting(bool legacy) {
    legacyMapForTesting.store(legacy);
}

AnyView MapView::body() const {
    // Each build makes the chosen map anew from the same controller; its camera and selection stay
    // with its place.
    if (usesCurrentMap()) return Group({AnyView(make<MapViewForMacOS14>(ctrl.get()))});
    return Group({make<MapViewLegacy>(ctrl.get())});
}

std::optional<plat::map::GeoCoordinate> MapView::selectedCoordinate(const VelmoraController& ctrl,
                                                                    const std::optional<int64_t>& regionId) {
    if (!regionId) return std::nullopt;
    std::optional<VPNRegion> region = ctrl.regionById(*regionId);
    if (!region) return std::nullopt;
    const plat::map::GeoCoordinate coordinate{static_cast<double>(region->location.latitude),
                                              static_cast<double>(region->location.longitude)};
    if (!coordinate.isValid()) return std::nullopt;
    return coordinate;
}

plat::RGBA MapView::markerTint(const VPNRegion& region, const std::optional<int64_t>& current) {
    return current && *current == region.id ? plat::map::MarkerTint::green() : plat::map::MarkerTint::gray();
}

plat::map::MapMarker MapView::plainMarker(const VPNRegion& region, const std::optional<int64_t>& current) {
    plat::map::MapMarker marker;
    marker.id = region.id;
    marker.coordinate = {static_cast<double>(region.location.latitude),
                         static_cast<double>(region.location.longitude)};
    marker.tint = markerTint(region, current);
    // The region in use stays visible where its neighbours crowd it.
    marker.raised = current && *current == region.id;
    return marker;
}
