// The world map as a view: what one map shows (markers, the map's own selected marker) and the
// camera position it shares with its screen. The screen keeps the position in its own state and
// hands a binding: setting it moves the camera; panning and zooming write the shown region back.
// The camera itself (its animation and view size) lives with the map's place in the tree, see
// MapViewState.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Binding.h"
#include "platform/map/CoordinateRegion.h"
#include "platform/map/MapMarker.h"
#include "platform/ui/AnyView.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace plat::ui {

struct MapContent {
    // The region the camera is asked to show.
    Binding<map::CoordinateRegion> position =
        Binding<map::CoordinateRegion>::constant(map::CoordinateRegion::world());
    // Drawn in order, later ones on top; the selected one is drawn topmost.
    std::vector<map::MapMarker> markers;
    // The map's own selection: a click on a marker writes its id here. None: markers do not select.
    std::optional<Binding<std::optional<int64_t>>> selection;
    // Whether dragging pans, the wheel zooms and clicks select.
    bool interactive = true;
    // How a new position is shown: eased over this long, or at once when zero.
    Duration animation = Duration::zero();
};

// A map that fills the space it is offered.
AnyView Map(MapContent content);

} // namespace plat::ui
