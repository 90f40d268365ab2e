// Host's pointer input for views that follow the pointer: presses, drags and wheel turns on maps.
#include "platform/ui/Host.h"

#include "platform/ui/MapViewState.h"
#include "platform/ui/ViewGraph.h"

#include <functional>

namespace plat::ui {

NodeRef Host::mapAt(Point location) const {
    const auto layers = graph_->layers();
    if (layers.empty() || !layers.back().root) return {};
    NodeRef found;
    // Tree order: a later map lies on top of an earlier one.
    std::function<void(const NodeRef&)> visit = [&](const NodeRef& node) {
        if (node.kind() == ViewKind::MapView && node.isAlive() && node.isEnabled() &&
            node.frame().contains(location))
            found = node;
        for (const NodeRef& child : node.children())
            visit(child);
    };
    visit(layers.back().root);
    return found;
}

bool Host::mouseDown(Point location) {
    pressedMap_ = mapAt(location);
    if (!pressedMap_) return false;
    MapViewState::of(pressedMap_)->mouseDown(pressedMap_, location);
    return performInput(true);
}

bool Host::mouseDragged(Point location) {
    if (!pressedMap_ || !pressedMap_.isAlive()) return false;
    NodeRef map = pressedMap_;
    MapViewState::of(map)->mouseDragged(map, location);
    return performInput(true);
}

bool Host::mouseUp(Point location) {
    NodeRef map = pressedMap_;
    pressedMap_ = NodeRef();
    if (!map || !map.isAlive()) return false;
    MapViewState::of(map)->mouseUp(map, location);
    return performInput(true);
}

bool Host::scrollWheel(Point location, double deltaY) {
    NodeRef map = mapAt(location);
    if (!map) return false;
    MapViewState::of(map)->scrollWheel(map, location, deltaY);
    return performInput(true);
}

} // namespace plat::ui
