#include "platform/map/MapInteraction.h"

#include <algorithm>
#include <cmath>

namespace plat::map {

namespace {
bool finite(Point p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}
} // namespace

void MapInteraction::mouseDown(Point point) {
    if (!finite(point)) return;
    camera_.stopAnimation();
    press_ = Press{point, point, false};
}

void MapInteraction::mouseDragged(Point point) {
    if (!press_ || !finite(point)) return;
    if (!press_->dragging && std::hypot(point.x - press_->origin.x, point.y - press_->origin.y) < kClickSlop)
        return;
    // The first real movement pans from the press point, so the slop is not lost.
    press_->dragging = true;
    pan(point.x - press_->last.x, point.y - press_->last.y);
    press_->last = point;
}

std::optional<Point> MapInteraction::mouseUp(Point point) {
    if (!press_) return std::nullopt;
    Press press = *press_;
    press_.reset();
    if (press.dragging) return std::nullopt;
    if (finite(point) && std::hypot(point.x - press.origin.x, point.y - press.origin.y) >= kClickSlop)
        return std::nullopt;
    return press.origin;
}

void MapInteraction::pan(double dx, double dy) {
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    MapViewport viewport = camera_.viewport();
    if (viewport.isEmpty()) return;
    WorldRect rect = viewport.visibleRect();
    rect.center.x -= dx / viewport.scale();
    rect.center.y -= dy / viewport.scale();
    // Store what the view can show, so dragging past a pole does not build up slack that must be
    // dragged back before the map moves again.
    camera_.setVisibleRect(MapViewport(viewport.viewSize(), rect).visibleRect());
}

void MapInteraction::scrollWheel(Point point, double deltaY) {
    if (!std::isfinite(deltaY)) return;
    deltaY = std::clamp(deltaY, -kMaxWheelDelta, kMaxWheelDelta);
    zoom(point, std::exp2(deltaY * kZoomPerWheelUnit));
}

void MapInteraction::zoom(Point point, double factor) {
    if (!finite(point) || !std::isfinite(factor) || factor <= 0) return;
    camera_.stopAnimation();
    MapViewport viewport = camera_.viewport();
    if (viewport.isEmpty()) return;
    Point anchor = viewport.unitPoint(point);
    const Size& view = viewport.viewSize();
    // Clamp the scale first (through a viewport), then place the centre so `anchor` stays at
    // `point` at that scale.
    WorldRect wanted = viewport.visibleRect();
    wanted.size = {wanted.size.width / factor, wanted.size.height / factor};
    double scale = MapViewport(view, wanted).scale();
    Point center{anchor.x + (view.width / 2 - point.x) / scale,
                 anchor.y + (view.height / 2 - point.y) / scale};
    camera_.setVisibleRect(
        MapViewport(view, WorldRect{center, {view.width / scale, view.height / scale}}).visibleRect());
}

} // namespace plat::map
