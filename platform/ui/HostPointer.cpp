// Host's pointer input for views that follow the pointer: presses, drags and wheel turns on maps,
// wheel turns on lists and scroll views.
#include "platform/ui/Host.h"

#include "platform/ui/MapViewState.h"
#include "platform/ui/ScrollLayout.h"
#include "platform/ui/ScrollState.h"
#include "platform/ui/ViewGraph.h"

#include <cmath>
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
    if (!map) return scrollAt(location, -deltaY * ScrollState::wheelStep);
    MapViewState::of(map)->scrollWheel(map, location, deltaY);
    return performInput(true);
}

bool Host::scrollAt(Point location, double delta) {
    const auto layers = graph_->layers();
    if (layers.empty() || !layers.back().root || delta == 0 || !std::isfinite(delta)) return false;
    // The scrolling views under the point, outermost first; content scrolled out of a view is not
    // under the point.
    std::vector<detail::Node*> under;
    std::function<void(detail::Node&)> visit = [&](detail::Node& n) {
        const bool scrolls = n.data->kind == ViewKind::List || n.data->kind == ViewKind::ScrollView;
        if (scrolls) {
            if (!n.frame.contains(location)) return;
            if (n.env && n.env->isEnabled) under.push_back(&n);
        }
        for (auto& c : n.children)
            visit(*c);
    };
    visit(*layers.back().root.node());
    for (auto it = under.rbegin(); it != under.rend(); ++it) {
        detail::Node& view = **it;
        if (!ScrollState::of(view)->scrollBy(delta)) continue;
        detail::placeScrolled(view, graph_->metrics());
        if (display_) display_();
        return performInput(true);
    }
    return false;
}

} // namespace plat::ui
