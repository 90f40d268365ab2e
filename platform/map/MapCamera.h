// The camera of one map view: which part of the world it shows, the view's pixel size, and
// animated moves between positions timed by an injected clock. The requested position is kept as
// given (so a resized view refits it); what the view shows is always fitted and clamped to the
// world by MapViewport. Not thread-safe: owned and used by the view on the main thread.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/map/CoordinateRegion.h"
#include "platform/map/MapViewport.h"
#include "platform/map/WorldRect.h"

#include <optional>

namespace plat::map {

class MapCamera {
public:
    // The length of an animated move when the caller asks for the default animation.
    static constexpr Duration kDefaultAnimationDuration = std::chrono::milliseconds(350);

    // A camera on `initial` (the whole world when it is not valid). `clock` must outlive the
    // camera; the system clock is never destroyed.
    explicit MapCamera(CoordinateRegion initial = CoordinateRegion::world(),
                       const plat::Clock& clock = plat::Clock::system());

    // The view's size in pixels; until it is set (or while it is empty) nothing is drawn.
    void setViewSize(Size size) { viewSize_ = size; }
    const Size& viewSize() const { return viewSize_; }

    // Moves to `region`, at once when `animation` is zero, otherwise eased over that long from
    // where the camera is now (a move in progress is taken over from its current point). Returns
    // false and leaves the camera alone when the region has a non-finite centre or an invalid
    // span. Latitudes beyond the projection are clamped and longitudes wrapped.
    bool setRegion(const CoordinateRegion& region, Duration animation = Duration::zero());
    // Moves the centre to `coordinate`, keeping the current zoom; false for non-finite input.
    bool setCenter(GeoCoordinate coordinate, Duration animation = Duration::zero());
    // Shows exactly this unit-square rectangle at once, ending any animation (used by panning and
    // zooming, which work in view pixels).
    void setVisibleRect(const WorldRect& rect);
    // Ends a move where it is now.
    void stopAnimation();

    // True while a move is under way at the clock's current time; a render loop redraws until
    // it turns false.
    bool isAnimating() const;
    // The viewport at the clock's current time.
    MapViewport viewport() const;
    // The region the view shows now (fitted to the view); the requested one while the view has
    // no size.
    CoordinateRegion region() const;
    // The region last asked for (the end of a move in progress).
    const WorldRect& targetRect() const { return target_; }

    // The easing curve of moves: slow start, slow end; t is clamped to [0, 1].
    static double easeInOut(double t);

private:
    WorldRect currentRect(TimePoint now) const;
    void moveTo(const WorldRect& rect, Duration animation);

    const plat::Clock& clock_;
    Size viewSize_;
    WorldRect target_;
    struct Move {
        WorldRect from;
        TimePoint start;
        Duration duration;
    };
    std::optional<Move> move_;
};

} // namespace plat::map
