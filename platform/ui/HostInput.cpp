// Host's input methods: each hands the event to the tree, then runs an update pass.
#include "platform/ui/Host.h"

#include "platform/ui/Input.h"
#include "platform/ui/MapViewState.h"
#include "platform/ui/NodeTree.h"
#include "platform/ui/ViewGraph.h"

namespace plat::ui {

namespace {
detail::Node* liveNode(const NodeRef& ref, const detail::ViewGraph* graph) {
    auto& n = ref.node();
    return n && n->alive && n->graph == graph ? n.get() : nullptr;
}

// The code points of `text`, one string each.
std::vector<std::string> characters(std::string_view text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xF0)
            len = 4;
        else if (c >= 0xE0)
            len = 3;
        else if (c >= 0xC0)
            len = 2;
        len = std::min(len, text.size() - i);
        out.emplace_back(text.substr(i, len));
        i += len;
    }
    return out;
}
} // namespace

bool Host::mouseClick(Point location) {
    const std::weak_ptr<bool> token = alive_;
    if (auto popup = menuPopup()) {
        if (const MenuPopup::Row* row = popup->rowAt(location)) {
            auto* item = liveNode(row->item, graph_.get());
            auto* owner = liveNode(popup->owner, graph_.get());
            if (!item || !owner) return finishInput(token, this, false);
            // The same paths as click() on a menu item and select() of a picker entry.
            if (owner->data->kind == ViewKind::Picker)
                return finishInput(token, this, detail::Input(*graph_).select(*owner, item->data->attrs.tag));
            return finishInput(token, this, detail::Input(*graph_).activate(*item));
        }
        // The panel's margins and separators take the click; outside the menu it closes the menu.
        if (popup->panel.contains(location)) return finishInput(token, this, true);
        if (!popup->owner.frame().contains(location)) {
            graph_->openMenu.reset();
            return finishInput(token, this, true);
        }
    }
    bool handled = detail::Input(*graph_).clickAt(location);
    // Nothing else answered: a marker of a map under the point may.
    if (NodeRef map = handled ? NodeRef() : mapAt(location))
        handled = MapViewState::of(map)->click(map, location);
    return finishInput(token, this, handled);
}

bool Host::keyDown(const KeyEvent& event) {
    const std::weak_ptr<bool> token = alive_;
    return finishInput(token, this, detail::Input(*graph_).keyDown(event));
}

bool Host::insertText(std::string_view text) {
    return performInput(detail::Input(*graph_).insertText(text));
}

bool Host::click(const NodeRef& node) {
    const std::weak_ptr<bool> token = alive_;
    auto* n = liveNode(node, graph_.get());
    return finishInput(token, this, n && detail::Input(*graph_).activate(*n));
}

bool Host::type(const NodeRef& field, std::string_view text) {
    auto* n = liveNode(field, graph_.get());
    if (!n) return false;
    detail::Node* target = detail::interactiveTarget(n);
    if (!target || !performInput(detail::Input(*graph_).focus(*target))) return false;
    for (const auto& c : characters(text)) {
        if (!insertText(c)) return false;
    }
    return true;
}

bool Host::setText(const NodeRef& field, std::string_view text) {
    auto* n = liveNode(field, graph_.get());
    detail::Node* target = n ? detail::interactiveTarget(n) : nullptr;
    if (!target || !detail::Input(*graph_).focus(*target) || !target->data->textBinding) return false;
    auto binding = *target->data->textBinding;
    binding.set(std::string());
    performInput(true);
    return text.empty() || type(field, text);
}

bool Host::pressKey(Key key, KeyModifiers modifiers) {
    return keyDown(KeyEvent::named(key, modifiers));
}

bool Host::setToggle(const NodeRef& toggle, bool on) {
    auto* n = liveNode(toggle, graph_.get());
    detail::Node* target = n ? detail::interactiveTarget(n) : nullptr;
    if (!target || target->data->kind != ViewKind::Toggle || !target->data->boolBinding) return false;
    if (target->data->boolBinding->get() == on) return true;
    auto keep = target->shared_from_this(); // the pass after the click may release it
    if (!click(NodeRef(keep))) return false;
    return keep->data->boolBinding->get() == on;
}

bool Host::select(const NodeRef& pickerOrList, const Tag& tag) {
    const std::weak_ptr<bool> token = alive_;
    auto* n = liveNode(pickerOrList, graph_.get());
    return finishInput(token, this, n && detail::Input(*graph_).select(*n, tag));
}

bool Host::selectEntry(const NodeRef& picker, const std::string& entryText) {
    auto* n = liveNode(picker, graph_.get());
    if (!n) return false;
    for (const auto& entry :
         picker.findAll(Query::where("tagged", [](const NodeRef& r) { return r.tag().has_value(); }))) {
        if (entry.text() == entryText) return select(picker, *entry.tag());
    }
    return false;
}

} // namespace plat::ui
