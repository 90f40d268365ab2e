// What a map view keeps for its place in the tree: the camera (its animation and the view's size)
// and the pointer interaction. Made on first use by the painter or by input, kept while the place
// lives (rebuilds of the map keep it), released with the place, so a map that gets a new identity
// starts again from its screen's position.
//
// The camera follows the screen's position binding: a value the screen set since the camera last
// looked is moved to (eased over the content's animation); panning and zooming write the region
// the view then shows back through the binding. Main thread only.
#pragma once

#include "platform/map/MapCamera.h"
#include "platform/map/MapDrawList.h"
#include "platform/map/MapInteraction.h"
#include "platform/ui/MapContent.h"
#include "platform/ui/NodeRef.h"

#include <memory>
#include <optional>

namespace plat::ui {

class MapViewState {
public:
    // The state of a map node, made on first use; null for a handle that names no map node.
    static std::shared_ptr<MapViewState> of(const NodeRef& node);
    // What a map node shows (an empty map for a node that has no content).
    static const MapContent& contentOf(const NodeRef& node);

    // `clock` times the camera's moves and must outlive the state.
    explicit MapViewState(const Clock& clock = Clock::system());
    MapViewState(const MapViewState&) = delete;
    MapViewState& operator=(const MapViewState&) = delete;

    // Brings the camera in step with the node: the size of its frame, and a position the screen
    // set since the last look. A position the camera cannot show (non-finite centre, bad span)
    // leaves it where it is.
    void update(const NodeRef& node);
    const map::MapCamera& camera() const { return camera_; }
    // True while a camera move is under way; a window keeps redrawing until it ends.
    bool isAnimating() const { return camera_.isAnimating(); }

    // The frame to paint, in the map's own pixels (origin at the top-left of its frame).
    map::MapDrawList drawList(const NodeRef& node);

    // Pointer input at window points. Dragging pans and the wheel zooms (positive deltaY zooms in);
    // both write the shown region to the position binding. Ignored when the map is not interactive.
    void mouseDown(const NodeRef& node, Point location);
    void mouseDragged(const NodeRef& node, Point location);
    void mouseUp(const NodeRef& node, Point location);
    void scrollWheel(const NodeRef& node, Point location, double deltaY);
    // A click selects the marker under the point: its id goes to the selection binding. False when
    // no marker is hit, the map keeps no selection or is not interactive.
    bool click(const NodeRef& node, Point location);

private:
    static Point local(const NodeRef& node, Point location);
    void publishCamera(const MapContent& content);

    map::MapCamera camera_;
    map::MapInteraction interaction_{camera_};
    // The position last taken from (or written to) the binding.
    std::optional<map::CoordinateRegion> applied_;
};

} // namespace plat::ui
