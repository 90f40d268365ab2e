// The world map in the right part of the main window: one marker per loaded region, the selected
// region's green and the others grey, the camera following the controller's selection. Display
// only: it never changes the controller's selection. Which map shows depends on what the map of
// the view toolkit offers: MapViewForMacOS14 where it has titled markers, eased camera moves and a
// marker selection of its own, MapViewLegacy (plain markers, camera moved one main-queue turn later)
// where it has not.
//
// Main thread only.
#pragma once

#include "app/controllers/VelmoraController.h"
#include "platform/geometry/RGBA.h"
#include "platform/map/GeoCoordinate.h"
#include "platform/map/MapMarker.h"
#include "platform/ui/Toolkit.h"

#include <cstdint>
#include <memory>
#include <optional>

class MapView : public plat::ui::Screen {
public:
    explicit MapView(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}
    plat::ui::AnyView body() const override;

    // Whether MapViewForMacOS14 shows. The toolkit's map has what it needs on every Linux, whatever
    // the distribution's version, so it does unless a test asks for the legacy map.
    static bool usesCurrentMap();
    // Test hook: true shows MapViewLegacy from the next build on; false restores the choice above.
    static void setUsesLegacyMapForTesting(bool legacy);
    // Where the camera goes for a value of the controller's current region: the selected region's
    // place; none for no selection, an id that names no loaded region, or a place that fails the
    // validity test (latitude beyond ±90°, longitude beyond ±180°).
    static std::optional<plat::map::GeoCoordinate> selectedCoordinate(const VelmoraController& ctrl,
                                                                      const std::optional<int64_t>& regionId);
    // The colour of a region's marker: green for the current region, grey for the others.
    static plat::RGBA markerTint(const VPNRegion& region, const std::optional<int64_t>& current);
    // A region's plain marker: its id, its place and the tint above, the current region's raised
    // above the others; both variants start from it.
    static plat::map::MapMarker plainMarker(const VPNRegion& region, const std::optional<int64_t>& current);

    plat::ui::ObservedObject<VelmoraController> ctrl;
};
