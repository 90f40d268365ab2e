#include "platform/ui/ScrollState.h"

#include "platform/ui/Node.h"

#include <algorithm>
#include <cmath>
#include <typeindex>

namespace plat::ui {

std::shared_ptr<ScrollState> ScrollState::of(const NodeRef& node) {
    return node.node() ? of(*node.node()) : nullptr;
}

std::shared_ptr<ScrollState> ScrollState::of(detail::Node& n) {
    if (!n.data || (n.data->kind != ViewKind::List && n.data->kind != ViewKind::ScrollView)) return nullptr;
    // Lists and scroll views are never screens, so their place's slots are free for their own state.
    const std::type_index type(typeid(ScrollState));
    for (const detail::Slot& slot : n.slots)
        if (slot.type == type && slot.value) return std::static_pointer_cast<ScrollState>(slot.value);
    auto made = std::make_shared<ScrollState>();
    n.slots.push_back(detail::Slot{type, made});
    return made;
}

void ScrollState::setExtent(double contentLength, double viewportLength) {
    content_ = std::isfinite(contentLength) ? std::max(0.0, contentLength) : 0;
    viewport_ = std::isfinite(viewportLength) ? std::max(0.0, viewportLength) : 0;
    offset_ = std::clamp(offset_, 0.0, maxOffset());
}

bool ScrollState::scrollTo(double offset) {
    if (!std::isfinite(offset)) return false;
    const double next = std::clamp(offset, 0.0, maxOffset());
    if (next == offset_) return false;
    offset_ = next;
    return true;
}

void ScrollState::follow(const std::string& key) {
    if (key_ && *key_ != key) offset_ = 0;
    key_ = key;
}

} // namespace plat::ui
