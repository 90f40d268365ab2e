// The world map with plain markers: no titles or symbols, the selected region's marker green and
// the others grey. When the controller's selection changes, the camera moves one main-queue turn
// later to a region 10,000 km across round the selected region.
//
// Main thread only.
#pragma once

#include "app/controllers/VelmoraController.h"
#include "platform/map/CoordinateRegion.h"
#include "platform/map/MapMarker.h"
#include "platform/ui/Toolkit.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class MapViewLegacy : public plat::ui::Screen {
public:
    explicit MapViewLegacy(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}
    plat::ui::AnyView body() const override;

    // Where the map opens: centred on 54° N 15° E, 20,000 km north to south and east to west.
    static plat::map::CoordinateRegion initialRegion();
    // The region the camera moves to for a selected region at `center`.
    static plat::map::CoordinateRegion selectedRegion(plat::map::GeoCoordinate center);
    static std::vector<plat::map::MapMarker> markers(const std::vector<VPNRegion>& regions,
                                                     std::optional<int64_t> current);

    plat::ui::ObservedObject<VelmoraController> ctrl;
    plat::ui::State<plat::map::CoordinateRegion> mapRegion{initialRegion()};
};
