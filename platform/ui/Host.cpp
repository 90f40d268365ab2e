// Host: the tree's lifecycle and queries, then the input methods (each hands the event to the tree,
// then runs an update pass), then pointer input for views that follow the pointer (presses, drags
// and wheel turns on maps, wheel turns on lists and scroll views).
#include "platform/ui/Host.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSourceTimer.h"
#include "platform/ui/Input.h"
#include "platform/ui/MapViewState.h"
#include "platform/ui/NodeTree.h"
#include "platform/ui/PopupLayout.h"
#include "platform/ui/ScrollLayout.h"
#include "platform/ui/ScrollState.h"
#include "platform/ui/TextDumpRenderer.h"
#include "platform/ui/ViewGraph.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>

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

Size minimumSize(AnyView view, std::shared_ptr<const TextMetrics> metrics) {
    if (!metrics) metrics = std::make_shared<HeadlessMetrics>();
    detail::ViewGraph graph(std::move(view), Size{0, 0}, std::move(metrics));
    graph.performPass();
    return graph.minimumContentSize();
}

Host::Host(AnyView root, HostOptions options)
    : scheduler_(options.scheduler ? options.scheduler : &Scheduler::system()) {
    std::shared_ptr<const TextMetrics> metrics = options.metrics;
    if (!metrics) metrics = std::make_shared<HeadlessMetrics>();
    graph_ = std::make_unique<detail::ViewGraph>(std::move(root), options.contentSize, std::move(metrics));
    UpdateCoordinator::shared().add(this);
    UpdateCoordinator::shared().setNeedsUpdate();
}

Host::~Host() {
    UpdateCoordinator::shared().remove(this);
    graph_->setDisplayHandler(nullptr);
    // Closed from inside its own pass (an appear or receive handler): the pass finishes on a graph
    // that is deleted on the next main-queue turn.
    if (graph_->isInPass()) {
        mainQueue().async([graph = std::shared_ptr<detail::ViewGraph>(graph_.release())] {});
    }
}

Size Host::contentSize() const {
    return graph_->contentSize();
}
void Host::setContentSize(Size size) {
    graph_->setContentSize(size);
}
Size Host::minimumContentSize() const {
    return graph_->minimumContentSize();
}
bool Host::needsUpdate() const {
    return graph_->needsUpdate();
}
void Host::update() {
    UpdateCoordinator::shared().updateNow();
}
void Host::performUpdate() {
    graph_->performPass();
}
std::vector<RenderLayer> Host::layers() const {
    return graph_->layers();
}

void Host::render(Renderer& renderer) const {
    renderer.render(graph_->contentSize(), graph_->layers());
}

void Host::setDisplayHandler(std::function<void()> handler) {
    display_ = handler;
    graph_->setDisplayHandler(std::move(handler));
}

std::optional<MenuPopup> Host::menuPopup() const {
    return detail::layoutPopup(*graph_);
}

void Host::noteMenuChange() {
    const void* open = graph_->openMenu.lock().get();
    if (open == shownMenu_) return;
    shownMenu_ = open;
    if (display_) display_();
}

std::size_t Host::bodyEvaluations() const {
    return graph_->bodyEvaluations();
}

NodeRef Host::root() const {
    return NodeRef(graph_->root());
}

std::vector<NodeRef> Host::findAll(const Query& query) const {
    std::vector<NodeRef> out;
    graph_->forEachNode([&](const std::shared_ptr<detail::Node>& n) {
        NodeRef ref(n);
        if (query.matches(ref)) out.push_back(ref);
    });
    return out;
}

NodeRef Host::find(const Query& query) const {
    NodeRef found;
    // forEachNode has no early exit; trees are small enough that finding the first is cheap anyway.
    graph_->forEachNode([&](const std::shared_ptr<detail::Node>& n) {
        if (found) return;
        NodeRef ref(n);
        if (query.matches(ref)) found = ref;
    });
    return found;
}

NodeRef Host::require(const Query& query) const {
    NodeRef found = find(query);
    if (!found) throw std::runtime_error("no node matches " + query.description() + " in\n" + dump());
    return found;
}

std::vector<NodeRef> Host::sheets() const {
    std::vector<NodeRef> out;
    for (const auto& layer : graph_->layers())
        if (layer.kind == RenderLayer::Kind::Sheet) out.push_back(layer.root);
    return out;
}

std::vector<NodeRef> Host::alerts() const {
    std::vector<NodeRef> out;
    for (const auto& layer : graph_->layers())
        if (layer.kind == RenderLayer::Kind::Alert) out.push_back(layer.root);
    return out;
}

NodeRef Host::focused() const {
    auto n = graph_->focused.lock();
    return n && n->alive ? NodeRef(n) : NodeRef();
}

NodeRef Host::openMenu() const {
    auto n = graph_->openMenu.lock();
    return n && n->alive ? NodeRef(n) : NodeRef();
}

std::string Host::dump() const {
    TextDumpRenderer renderer;
    render(renderer);
    return renderer.text();
}

bool Host::finishInput(const std::weak_ptr<bool>& token, Host* host, bool handled) {
    UpdateCoordinator::shared().updateNow();
    // The action may have closed the window and destroyed the host.
    if (token.lock()) host->noteMenuChange();
    return handled;
}

bool Host::performInput(bool handled) {
    // Whatever the event changed is rebuilt and laid out before the next event is looked at.
    UpdateCoordinator::shared().updateNow();
    return handled;
}

// ---- Input ----

bool Host::mouseClick(Point location) {
    const std::weak_ptr<bool> token = alive_;
    if (auto popup = menuPopup()) {
        if (const MenuPopup::Row* row = popup->rowAt(location)) {
            auto* item = liveNode(row->item, graph_.get());
            auto* owner = liveNode(popup->owner, graph_.get());
            if (!item || !owner) return finishInput(token, this, false);
            // The same paths as click() on a menu item and select() of a picker entry.
            if (owner->data->kind == ViewKind::Picker)
                return finishInput(token, this,
                                   detail::Input(*graph_).select(*owner, item->data->attrs->tag));
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
    bool handled = detail::Input(*graph_).keyDown(event);
    if (!handled && token.lock() && unhandledKey_) {
        // A copy: the handler may close the window, and this host with it.
        const auto handler = unhandledKey_;
        handled = handler(event);
    }
    return finishInput(token, this, handled);
}

bool Host::middleClick(Point location) {
    const std::weak_ptr<bool> token = alive_;
    // An open menu takes the click as it takes any other: the click closes it.
    if (auto popup = menuPopup(); popup && !popup->panel.contains(location)) {
        graph_->openMenu.reset();
        return finishInput(token, this, true);
    }
    return finishInput(token, this, detail::Input(*graph_).pasteSelectionAt(location));
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
    if (!target || !detail::Input(*graph_).focus(*target) || !target->data->controls->textBinding)
        return false;
    auto binding = *target->data->controls->textBinding;
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
    if (!target || target->data->kind != ViewKind::Toggle || !target->data->controls->boolBinding)
        return false;
    if (target->data->controls->boolBinding->get() == on) return true;
    auto keep = target->shared_from_this(); // the pass after the click may release it
    if (!click(NodeRef(keep))) return false;
    return keep->data->controls->boolBinding->get() == on;
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

// ---- Pointer input ----

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

Host::Press Host::clickTargetAt(Point location) const {
    Press press;
    press.location = location;
    if (auto popup = menuPopup()) {
        if (const MenuPopup::Row* row = popup->rowAt(location)) {
            if (auto* item = liveNode(row->item, graph_.get())) {
                press.on = Press::On::Node;
                press.target = item->shared_from_this();
            }
            return press;
        }
        if (popup->panel.contains(location)) {
            press.on = Press::On::Panel;
            return press;
        }
    }
    if (detail::Node* target = detail::Input(*graph_).targetAt(location)) {
        press.on = Press::On::Node;
        press.target = target->shared_from_this();
    }
    return press;
}

bool Host::Press::sameTarget(const Press& other) const {
    if (on != other.on) return false;
    if (on != On::Node) return true;
    auto node = target.lock();
    return node && node->alive && node == other.target.lock();
}

bool Host::mouseDown(Point location, KeyModifiers modifiers, int clickCount) {
    stopFieldScroll();
    press_ = clickTargetAt(location);
    bool handled = false;
    // A field takes the focus on the press (an open menu takes the press as it takes a click).
    auto target = press_->target.lock();
    if (target && !menuPopup() &&
        (target->data->kind == ViewKind::TextField || target->data->kind == ViewKind::SecureField)) {
        const bool extend =
            (static_cast<std::uint8_t>(modifiers) & static_cast<std::uint8_t>(KeyModifiers::Shift));
        handled = detail::Input(*graph_).pressField(*target, location, extend, clickCount);
        if (handled) {
            press_->field = target;
            const auto pressed = NodeRef(target).fieldSelection();
            press_->fieldDrag = {clickCount, pressed.value_or(FieldSelection{})};
        }
    }
    pressedMap_ = press_->field.expired() ? mapAt(location) : NodeRef();
    if (pressedMap_) {
        MapViewState::of(pressedMap_)->mouseDown(pressedMap_, location);
        handled = true;
    }
    return performInput(handled);
}

bool Host::mouseDragged(Point location) {
    if (auto field = press_ ? press_->field.lock() : nullptr) {
        press_->pointer = location;
        detail::Input input(*graph_);
        const bool handled = input.dragField(*field, location, press_->fieldDrag);
        // No more drags come while the pointer is held still: the text scrolls on by itself.
        if (input.beyondFieldSide(*field, location))
            startFieldScroll();
        else
            stopFieldScroll();
        return performInput(handled);
    }
    if (!pressedMap_ || !pressedMap_.isAlive()) return false;
    NodeRef map = pressedMap_;
    MapViewState::of(map)->mouseDragged(map, location);
    return performInput(true);
}

bool Host::mouseUp(Point location) {
    stopFieldScroll();
    NodeRef map = std::exchange(pressedMap_, NodeRef());
    const std::optional<Press> press = std::exchange(press_, std::nullopt);
    bool handled = false;
    if (map && map.isAlive()) {
        MapViewState::of(map)->mouseUp(map, location);
        handled = performInput(true);
    }
    // A press into a field did its work at once.
    if (!press || !press->field.expired()) return handled;
    // A drag across a map pans it: only a press that stayed put is a click there (on a marker).
    const bool click = map && press->on == Press::On::Nothing
                           ? std::fabs(location.x - press->location.x) <= kClickSlop &&
                                 std::fabs(location.y - press->location.y) <= kClickSlop
                           : press->sameTarget(clickTargetAt(location));
    return click ? mouseClick(press->location) || handled : handled;
}

void Host::startFieldScroll() {
    if (fieldScroll_) return;
    fieldScroll_ = std::make_unique<DispatchSourceTimer>(mainQueue(), *scheduler_);
    fieldScroll_->setEventHandler([this, token = std::weak_ptr<bool>(alive_)] {
        if (token.lock()) fieldScrollTick();
    });
    fieldScroll_->schedule(kFieldScrollInterval, kFieldScrollInterval);
    fieldScroll_->resume();
}

void Host::stopFieldScroll() {
    fieldScroll_.reset();
}

void Host::fieldScrollTick() {
    auto field = press_ ? press_->field.lock() : nullptr;
    const NodeRef ref(field);
    const auto before = field ? ref.fieldSelection() : std::nullopt;
    if (!field ||
        !detail::Input(*graph_).dragField(*field, press_->pointer, press_->fieldDrag, /*held=*/true)) {
        // The field went, lost the focus, or the pointer is no longer beyond its side.
        stopFieldScroll();
        return;
    }
    // Held at the text's end nothing moves, and nothing needs drawing.
    if (ref.fieldSelection() == before) return;
    performInput(true);
    // No event of the window's came with it: the window is told to draw the moved text.
    if (display_) display_();
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
