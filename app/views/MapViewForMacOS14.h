// The world map with titled markers: each region's city as the title, the selected region's
// marker green with a shield symbol, the others grey. When the controller's selection changes the
// camera eases to a 20° × 40° region round the selected region and the map selects its marker. A
// marker clicked on the map changes only the map's own selection.
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

class MapViewForMacOS14 : public plat::ui::Screen {
public:
    explicit MapViewForMacOS14(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}
    plat::ui::AnyView body() const override;

    // Where the map opens: centred on 54° N 15° E, 180° by 360°.
    static plat::map::CoordinateRegion initialPosition();
    // The region the camera moves to for a selected region at `center`.
    static plat::map::CoordinateRegion selectedPosition(plat::map::GeoCoordinate center);
    // One marker per region, in order; `current` is the controller's selection.
    static std::vector<plat::map::MapMarker> markers(const std::vector<VPNRegion>& regions,
                                                     std::optional<int64_t> current);

    plat::ui::ObservedObject<VelmoraController> ctrl;
    plat::ui::State<plat::map::CoordinateRegion> position{initialPosition()};
    plat::ui::State<std::optional<int64_t>> selection{std::nullopt};
};
