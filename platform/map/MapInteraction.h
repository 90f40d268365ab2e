// Pointer input for a map view: dragging pans so the place under the pointer follows it, the
// wheel zooms about the pointer, and a press released without moving is reported as a click (for
// marker selection). Works on a MapCamera the caller owns; not thread-safe (main thread only).
#pragma once

#include "platform/geometry/Geometry.h"
#include "platform/map/MapCamera.h"

#include <optional>

namespace plat::map {

class MapInteraction {
public:
    // A press that moves less than this many pixels before release is a click, not a drag.
    static constexpr double kClickSlop = 3.0;
    // Zoom factor per wheel unit (one notch of a common mouse wheel): 2^0.5.
    static constexpr double kZoomPerWheelUnit = 0.5;
    // Wheel deltas beyond this are cut, so one burst of a free-spinning wheel cannot jump the whole
    // zoom range.
    static constexpr double kMaxWheelDelta = 10.0;

    // `camera` must outlive the interaction.
    explicit MapInteraction(MapCamera& camera) : camera_(camera) {}

    // A button went down at `point` (view pixels). Stops a camera move in progress.
    void mouseDown(Point point);
    // The pointer moved with the button held: pans the camera by the movement since the last event.
    // Ignored without a preceding mouseDown.
    void mouseDragged(Point point);
    // The button came up. Returns the press point when this was a click rather than a drag.
    std::optional<Point> mouseUp(Point point);
    // The press was cancelled (the window lost focus); no click is reported.
    void cancel() { press_.reset(); }
    bool isDragging() const { return press_ && press_->dragging; }

    // The wheel turned by `deltaY` units at `point`; positive zooms in. The place under the pointer
    // stays under it (as far as the world's edges allow).
    void scrollWheel(Point point, double deltaY);
    // Zooms by `factor` (>1 in) about `point`; non-finite or non-positive factors are ignored.
    void zoom(Point point, double factor);
    // Pans by a pixel offset: the map content moves by (dx, dy).
    void pan(double dx, double dy);

private:
    struct Press {
        Point origin;
        Point last;
        bool dragging = false;
    };
    MapCamera& camera_;
    std::optional<Press> press_;
};

} // namespace plat::map
