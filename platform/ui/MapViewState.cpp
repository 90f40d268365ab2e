#include "platform/ui/MapViewState.h"

#include "platform/map/MarkerLayer.h"
#include "platform/map/WorldMap.h"
#include "platform/ui/Node.h"

#include <typeindex>

namespace plat::ui {

std::shared_ptr<MapViewState> MapViewState::of(const NodeRef& node) {
    const auto& n = node.node();
    if (!n || !n->data || n->data->kind != ViewKind::MapView) return nullptr;
    // A map node is a leaf and never a screen, so its place's slots are free for its own state.
    const std::type_index type(typeid(MapViewState));
    for (const detail::Slot& slot : n->slots)
        if (slot.type == type && slot.value) return std::static_pointer_cast<MapViewState>(slot.value);
    auto made = std::make_shared<MapViewState>();
    n->slots.push_back(detail::Slot{type, made});
    return made;
}

const MapContent& MapViewState::contentOf(const NodeRef& node) {
    static const MapContent* empty = new MapContent();
    const auto& n = node.node();
    if (!n || !n->data || !n->data->controls->map) return *empty;
    return *n->data->controls->map;
}

MapViewState::MapViewState(const Clock& clock) : camera_(map::CoordinateRegion::world(), clock) {}

Point MapViewState::local(const NodeRef& node, Point location) {
    const Rect frame = node.frame();
    return {location.x - frame.x, location.y - frame.y};
}

void MapViewState::update(const NodeRef& node) {
    const Rect frame = node.frame();
    camera_.setViewSize({frame.width, frame.height});
    const MapContent& content = contentOf(node);
    const map::CoordinateRegion wanted = content.position.get();
    if (applied_ && *applied_ == wanted) return;
    // The first position is where the map opens: no move to watch.
    const Duration animation = applied_ ? content.animation : Duration::zero();
    applied_ = wanted;
    camera_.setRegion(wanted, animation);
}

map::MapDrawList MapViewState::drawList(const NodeRef& node) {
    update(node);
    const MapContent& content = contentOf(node);
    std::optional<int64_t> selected;
    if (content.selection) selected = content.selection->get();
    return map::WorldMap::shared().drawCommands(camera_, content.markers, selected);
}

void MapViewState::publishCamera(const MapContent& content) {
    applied_ = camera_.region();
    content.position.set(*applied_);
}

void MapViewState::mouseDown(const NodeRef& node, Point location) {
    update(node);
    if (!contentOf(node).interactive) return;
    interaction_.mouseDown(local(node, location));
}

void MapViewState::mouseDragged(const NodeRef& node, Point location) {
    if (!contentOf(node).interactive) return;
    update(node);
    const map::WorldRect before = camera_.targetRect();
    interaction_.mouseDragged(local(node, location));
    if (!(camera_.targetRect() == before)) publishCamera(contentOf(node));
}

void MapViewState::mouseUp(const NodeRef& node, Point location) {
    // Clicks reach the map through click(); the press only ends here.
    (void)interaction_.mouseUp(local(node, location));
}

void MapViewState::scrollWheel(const NodeRef& node, Point location, double deltaY) {
    const MapContent& content = contentOf(node);
    if (!content.interactive) return;
    update(node);
    const map::WorldRect before = camera_.targetRect();
    interaction_.scrollWheel(local(node, location), deltaY);
    if (!(camera_.targetRect() == before)) publishCamera(content);
}

bool MapViewState::click(const NodeRef& node, Point location) {
    const MapContent& content = contentOf(node);
    if (!content.interactive || !content.selection) return false;
    update(node);
    const auto placed =
        map::MarkerLayer::place(content.markers, camera_.viewport(), content.selection->get());
    const std::optional<int64_t> hit = map::MarkerLayer::hitTest(placed, local(node, location));
    if (!hit) return false;
    content.selection->set(hit);
    return true;
}

} // namespace plat::ui
