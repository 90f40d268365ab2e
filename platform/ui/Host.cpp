#include "platform/ui/Host.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/PopupLayout.h"
#include "platform/ui/TextDumpRenderer.h"
#include "platform/ui/ViewGraph.h"

#include <stdexcept>

namespace plat::ui {

Host::Host(AnyView root, HostOptions options) {
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

} // namespace plat::ui
