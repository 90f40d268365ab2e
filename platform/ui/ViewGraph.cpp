#include "platform/ui/ViewGraph.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/log/OSLog.h"
#include "platform/ui/Layout.h"
#include "platform/ui/PresentedViews.h"
#include "platform/ui/UpdateCoordinator.h"

#include <unordered_map>

namespace plat::ui::detail {

namespace {

// Rounds of rebuild and lifecycle one pass may take before it gives up on settling (a body or
// handler that invalidates itself every time); the rest waits for the next pass.
constexpr int kMaxRounds = 16;

const OSLog& log() {
    static const OSLog* l = new OSLog("io.velmora.ui", "graph");
    return *l;
}

// Identity among siblings: the explicit id when there is one, else the position; always with the
// kind, the screen type and the branch, so a different one of those is a different place.
std::string keyFor(const ViewData& d, std::size_t position, std::unordered_map<std::string, int>& seen) {
    std::string what = name(d.kind);
    if (d.kind == ViewKind::Component) what += std::string("<") + d.component->info->name() + ">";
    if (d.kind == ViewKind::Branch) what += "[" + d.branch + "]";
    if (!d.attrs->id) return std::to_string(position) + "|" + what;
    std::string key = "#" + *d.attrs->id + "|" + what;
    int n = seen[key]++;
    return n == 0 ? key : key + "~" + std::to_string(n);
}

template <typename F> void guarded(const char* what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        log().error(std::string(what) + " failed: " + e.what());
    } catch (...) {
        log().error(std::string(what) + " failed with an unknown exception");
    }
}

// The first navigation title in the subtree, the sheet's own heading left out.
std::optional<TextValue> navigationTitleIn(const Node& node) {
    if (node.data && node.data->attrs->navigationTitle) return node.data->attrs->navigationTitle;
    for (const auto& child : node.children) {
        if (child->data && child->data->attrs->testId == "sheetTitle") continue;
        if (auto title = navigationTitleIn(*child)) return title;
    }
    return std::nullopt;
}

} // namespace

ViewGraph::ViewGraph(AnyView root, Size contentSize, std::shared_ptr<const TextMetrics> metrics)
    : contentSize_(contentSize), metrics_(std::move(metrics)) {
    root_ = makeNode(nullptr, "root");
    root_->rootBody = [root] { return root; };
    root_->data = makeViewData(ViewKind::Group);
    auto env = std::make_shared<EnvironmentValues>();
    env->textMetrics = metrics_;
    root_->parentEnv = std::move(env);
    root_->env = root_->parentEnv;
    root_->link = std::make_shared<NodeLink>([this, raw = root_.get()] { markDirty(*raw); });
    root_->dirty = true;
    hasDirty_ = true;
}

ViewGraph::~ViewGraph() {
    // Nothing may reach the graph while it goes: links die first, subscriptions end, then the
    // screens and their state are released.
    std::vector<std::shared_ptr<Node>> all;
    forEachNode([&](const std::shared_ptr<Node>& n) { all.push_back(n); });
    for (auto& n : retired_)
        all.push_back(n);
    for (auto& n : all) {
        n->alive = false;
        if (n->link) n->link->kill();
        for (auto& r : n->receivers)
            r.subscription.cancel();
    }
    for (auto& n : all) {
        n->parent = nullptr;
        n->presenter = nullptr;
        n->slots.clear();
        n->children.clear();
        n->presented.clear();
    }
    layers_.clear();
    auto screens = std::make_shared<std::vector<std::unique_ptr<Screen>>>(std::move(retiredScreens_));
    for (auto& n : all)
        if (n->screen) screens->push_back(std::move(n->screen));
    releaseLater(std::move(screens));
}

std::shared_ptr<Node> ViewGraph::makeNode(Node* parent, std::string key) {
    auto n = std::make_shared<Node>();
    n->graph = this;
    n->parent = parent;
    n->key = std::move(key);
    return n;
}

void ViewGraph::markDirty(Node& node) {
    if (!node.alive) return;
    node.dirty = true;
    hasDirty_ = true;
    if (!inPass_) UpdateCoordinator::shared().setNeedsUpdate();
}

void ViewGraph::setContentSize(Size size) {
    if (size == contentSize_) return;
    contentSize_ = size;
    needsLayout_ = true;
    UpdateCoordinator::shared().setNeedsUpdate();
}

// --- Building ---

void ViewGraph::build(Node& node, const std::shared_ptr<const ViewData>& data,
                      const std::shared_ptr<const EnvironmentValues>& parentEnv, bool force) {
    // The same value in the same environment builds the same subtree; invalidated screens below
    // are found by the walk over dirty nodes.
    if (!force && !node.dirty && node.data == data && node.parentEnv == parentEnv) return;
    const bool isNew = node.data == nullptr || node.builtInRound == 0;
    if (!force && !isNew && keepsBody(node, *data, parentEnv)) {
        // The screen would build the same body again: only what is attached to its place (tag,
        // handlers, presentations) takes the new value.
        node.data = data;
        node.builtInRound = round_;
        invalidateLayout(node);
        noteLifecycle(node);
        return;
    }
    invalidateLayout(node);
    // Queued before the children are built, so appear events run parents first, in tree order.
    if (isNew) pending_.push_back({Pending::Kind::Appear, node.shared_from_this()});
    // The same modifiers over the same environment make the same one: a screen rebuilt for its own
    // state keeps handing down the environment it did, so the screens below can keep their bodies.
    const bool sameEnvironment = node.env && node.data == data && node.parentEnv == parentEnv;
    node.data = data;
    node.parentEnv = parentEnv;
    const auto& changes = data->environment;
    if (changes.empty()) {
        node.env = parentEnv;
    } else if (!sameEnvironment) {
        auto env = std::make_shared<EnvironmentValues>(*parentEnv);
        // Applied outermost first, so the innermost modifier has the last word.
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            (*it)(*env);
        node.env = std::move(env);
    }
    node.builtInRound = round_;
    if (data->kind == ViewKind::Component || node.isRoot()) {
        evaluateBody(node);
    } else {
        reconcileChildren(node, data->children);
    }
    noteLifecycle(node);
}

void ViewGraph::invalidateLayout(Node& node) {
    // What a node measures depends on its subtree only, so its ancestors measure again too. A node
    // whose measurements are stale has stale ancestors already.
    node.measuredValid = false;
    for (Node* p = node.parent; p && p->measuredValid; p = p->parent)
        p->measuredValid = false;
}

bool ViewGraph::keepsBody(const Node& node, const ViewData& data,
                          const std::shared_ptr<const EnvironmentValues>& parentEnv) {
    // Its own state and observed objects mark a screen dirty; the environment is compared by
    // identity, and environment modifiers on the screen itself make a new one every build.
    if (node.dirty || !node.screen || node.parentEnv != parentEnv) return false;
    const ViewData& before = *node.data;
    if (data.kind != ViewKind::Component || before.kind != ViewKind::Component) return false;
    if (!data.environment.empty() || !before.environment.empty()) return false;
    return before.component->sameConstruction(*data.component);
}

void ViewGraph::evaluateBody(Node& node) {
    node.dirty = false;
    if (!node.link) node.link = std::make_shared<NodeLink>([this, raw = &node] { markDirty(*raw); });
    ++bodyEvaluations_;
    AnyView body;
    guarded("body", [&] {
        if (node.isRoot()) {
            body = node.rootBody();
            return;
        }
        const ComponentSpec& desc = *node.data->component;
        if (!desc.construct) return;
        std::unique_ptr<Screen> screen;
        {
            BuildContext context(node.slots, *node.env, node.link);
            BuildContext::Scope scope(context);
            screen = desc.construct();
        }
        if (node.screen && desc.assign && desc.assign(*node.screen, *screen)) {
            retiredScreens_.push_back(std::move(screen));
        } else {
            // Closures of the old body may still refer to the old instance until this pass has
            // swapped them all.
            if (node.screen) retiredScreens_.push_back(std::move(node.screen));
            node.screen = std::move(screen);
        }
        body = node.screen->body();
    });
    reconcileChildren(node, {body});
}

void ViewGraph::reconcileChildren(Node& node, const std::vector<AnyView>& views) {
    std::vector<std::shared_ptr<Node>> old = std::move(node.children);
    node.children.clear();
    std::unordered_map<std::string, std::size_t> byKey;
    for (std::size_t i = 0; i < old.size(); ++i)
        byKey.emplace(old[i]->key, i);
    std::unordered_map<std::string, int> seen;
    std::vector<std::shared_ptr<Node>> next;
    next.reserve(views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
        std::string key = keyFor(views[i].data(), i, seen);
        auto it = byKey.find(key);
        if (it != byKey.end() && old[it->second]) {
            next.push_back(std::move(old[it->second]));
        } else {
            next.push_back(makeNode(&node, std::move(key)));
        }
    }
    // What left goes before the newcomers are built, so its disappear events come first.
    for (auto& gone : old)
        if (gone) retire(gone);
    node.children = next;
    for (std::size_t i = 0; i < views.size(); ++i)
        build(*next[i], views[i].dataPointer(), node.env, false);
}

void ViewGraph::noteLifecycle(Node& node) {
    auto self = node.shared_from_this();
    const ViewAttributes& a = *node.data->attrs;

    if (node.receivers.size() > a.receivers.size()) node.receivers.resize(a.receivers.size());
    node.receivers.resize(a.receivers.size());
    for (std::size_t i = 0; i < a.receivers.size(); ++i) {
        const auto& desc = a.receivers[i];
        auto& r = node.receivers[i];
        if (!r.action) r.action = std::make_shared<std::function<void(const void*)>>();
        *r.action = desc.action;
        if (!r.subscribed || r.source != desc.source || r.sourceName != desc.sourceName) {
            r.subscription.cancel();
            r.subscribed = false;
            r.source = desc.source;
            r.sourceName = desc.sourceName;
            pending_.push_back({Pending::Kind::Subscribe, self, i});
        }
    }

    node.changeValues.resize(a.changes.size());
    for (std::size_t i = 0; i < a.changes.size(); ++i) {
        const auto& desc = a.changes[i];
        auto& last = node.changeValues[i];
        if (last && desc.equal && !desc.equal(last.get(), desc.value.get())) {
            pending_.push_back({Pending::Kind::Change, self, i, desc.value, desc.action});
        }
        last = desc.value;
    }

    // Presentations whose modifier is gone are taken down.
    for (std::size_t i = a.presentations.size(); i < node.presented.size(); ++i) {
        if (auto root = node.presented[i].root) {
            std::erase(layers_, root);
            retire(root);
        }
    }
    node.presented.resize(a.presentations.size());
}

void ViewGraph::retire(const std::shared_ptr<Node>& node) {
    if (!node->alive) return;
    node->alive = false;
    if (node->link) node->link->kill();
    if (node->appeared && !node->data->attrs->onDisappear.empty()) {
        pending_.push_back({Pending::Kind::Disappear, node});
    }
    for (auto& r : node->receivers)
        r.subscription.cancel();
    retired_.push_back(node);
    for (auto& child : node->children)
        retire(child);
    for (auto& p : node->presented) {
        if (!p.root) continue;
        std::erase(layers_, p.root);
        retire(p.root);
    }
}

// --- The pass ---

bool ViewGraph::rebuildDirty() {
    if (!hasDirty_) return false;
    hasDirty_ = false;
    bool any = false;
    std::function<void(const std::shared_ptr<Node>&)> walk = [&](const std::shared_ptr<Node>& n) {
        if (!n->alive) return;
        if (n->dirty) {
            build(*n, n->data, n->parentEnv, true);
            any = true;
        }
        auto children = n->children;
        for (const auto& c : children)
            walk(c);
    };
    walk(root_);
    auto layers = layers_;
    for (const auto& layer : layers)
        walk(layer);
    return any;
}

void ViewGraph::runPending() {
    std::vector<Pending> items = std::move(pending_);
    pending_.clear();
    using K = Pending::Kind;
    for (auto& p : items) {
        if (p.kind == K::Disappear) {
            auto handlers = p.node->data->attrs->onDisappear;
            for (auto& h : handlers)
                if (h) guarded("onDisappear", h);
        } else if (p.kind == K::Appear) {
            if (!p.node->alive || p.node->appeared) continue;
            p.node->appeared = true;
            auto handlers = p.node->data->attrs->onAppear;
            for (auto& h : handlers)
                if (h) guarded("onAppear", h);
        }
    }
    for (auto& p : items) {
        if (p.kind != K::Subscribe || !p.node->alive) continue;
        Node& node = *p.node;
        const auto& specs = node.data->attrs->receivers;
        if (p.index >= specs.size() || p.index >= node.receivers.size()) continue;
        if (node.receivers[p.index].subscribed) continue;
        node.receivers[p.index].subscribed = true;
        auto subscribe = specs[p.index].subscribe;
        std::weak_ptr<Node> weak = p.node;
        auto action = node.receivers[p.index].action;
        auto deliver = [weak, action](const void* value) {
            auto n = weak.lock();
            if (!n || !n->alive) return;
            auto f = *action; // a rebuild may swap it while it runs
            if (f) guarded("onReceive", [&] { f(value); });
        };
        AnyCancellable subscription;
        guarded("onReceive subscription", [&] { subscription = subscribe(deliver); });
        if (node.alive && p.index < node.receivers.size())
            node.receivers[p.index].subscription = std::move(subscription);
    }
    for (auto& p : items) {
        if (p.kind != K::Change || !p.node->alive || !p.action) continue;
        guarded("onChange", [&] { p.action(p.value.get()); });
    }
}

void ViewGraph::performPass() {
    if (inPass_) return;
    inPass_ = true;
    int rounds = 0;
    for (; rounds < kMaxRounds; ++rounds) {
        ++round_;
        rebuildDirty();
        runPending();
        syncPresentations();
        syncSheetTitles();
        if (!hasDirty_ && pending_.empty()) break;
    }
    if (rounds == kMaxRounds) log().error("update pass did not settle; the rest waits for the next pass");
    layoutAll();
    needsLayout_ = false;
    // Old screens may still be captured by closures of nodes that wait for a rebuild.
    if (!hasDirty_ && pending_.empty()) releaseRetired();
    inPass_ = false;
    if (displayHandler_) guarded("display handler", displayHandler_);
}

void ViewGraph::releaseRetired() {
    auto retired = std::move(retired_);
    retired_.clear();
    auto screens = std::make_shared<std::vector<std::unique_ptr<Screen>>>(std::move(retiredScreens_));
    retiredScreens_.clear();
    for (auto& n : retired) {
        n->parent = nullptr;
        n->presenter = nullptr;
        n->children.clear();
        n->presented.clear();
        n->receivers.clear();
        if (n->screen) screens->push_back(std::move(n->screen));
    }
    // State last: objects released here may announce changes that other screens observe.
    for (auto& n : retired)
        n->slots.clear();
    releaseLater(std::move(screens));
}

void ViewGraph::releaseLater(std::shared_ptr<std::vector<std::unique_ptr<Screen>>> screens) {
    if (screens->empty()) return;
    // Blocks that actions of these instances queued before now still find them: they run first.
    mainQueue().async([screens] { screens->clear(); });
}

// --- Presented sheets and alerts, from their bindings ---

void ViewGraph::syncSheetTitles() {
    for (const auto& layer : layers_) {
        if (!layer->alive || layer->data->kind != ViewKind::Sheet) continue;
        std::optional<TextValue> title;
        for (const auto& child : layer->children)
            if (!title) title = navigationTitleIn(*child);
        if (title == layer->sheetTitle) continue;
        layer->sheetTitle = std::move(title);
        markDirty(*layer);
    }
}

void ViewGraph::syncPresentations() {
    std::vector<std::shared_ptr<Node>> presenters;
    forEachNode([&](const std::shared_ptr<Node>& n) {
        if (n->alive && !n->data->attrs->presentations.empty()) presenters.push_back(n);
    });
    for (const auto& p : presenters) {
        for (std::size_t i = 0; i < p->data->attrs->presentations.size(); ++i) {
            if (p->alive) syncPresentation(*p, i);
        }
    }
}

void ViewGraph::syncPresentation(Node& presenter, std::size_t index) {
    const PresentationSpec desc = presenter.data->attrs->presentations[index];
    if (index >= presenter.presented.size()) presenter.presented.resize(index + 1);
    bool want = desc.isPresented && desc.isPresented();
    std::optional<Alert> alert;
    if (want && desc.kind == PresentationSpec::Kind::Alert) {
        alert = desc.alertContent ? desc.alertContent() : std::optional<Alert>(Alert{});
        want = alert.has_value();
    }
    auto& slot = presenter.presented[index];
    auto takeDown = [&] {
        std::erase(layers_, slot.root);
        retire(slot.root);
        slot.root.reset();
        slot.alert.reset();
    };
    if (!want) {
        if (!slot.root) return;
        takeDown();
        if (desc.onDismiss) desc.onDismiss();
        return;
    }
    // Another alert for a new item replaces the one shown.
    if (slot.root && alert && slot.alert &&
        (slot.alert->title != alert->title || slot.alert->message != alert->message)) {
        takeDown();
    }
    if (!slot.root) {
        slot.alert = alert;
        slot.root = presentRoot(presenter, index);
        return;
    }
    // Still shown: when the presenter was rebuilt, its content closures are the new ones (the old
    // ones may point into a screen instance that goes at the end of this pass).
    if (presenter.builtInRound == round_) {
        if (alert) {
            slot.alert = alert;
            slot.root->rootBody = [alert = *alert, dismiss = desc.dismiss] {
                return alertView(alert, dismiss);
            };
        } else {
            slot.root->rootBody = sheetBody(slot.root.get(), desc.sheetContent);
        }
        markDirty(*slot.root);
    }
}

std::shared_ptr<Node> ViewGraph::presentRoot(Node& presenter, std::size_t index) {
    const PresentationSpec& desc = presenter.data->attrs->presentations[index];
    const bool isAlert = desc.kind == PresentationSpec::Kind::Alert;
    auto root = makeNode(nullptr, isAlert ? "alert" : "sheet");
    root->presenter = &presenter;
    root->presentationIndex = index;
    if (isAlert) {
        root->rootBody = [alert = *presenter.presented[index].alert, dismiss = desc.dismiss] {
            return alertView(alert, dismiss);
        };
    } else {
        root->rootBody = sheetBody(root.get(), desc.sheetContent);
    }
    root->link = std::make_shared<NodeLink>([this, raw = root.get()] { markDirty(*raw); });
    layers_.push_back(root);
    build(*root, makeViewData(isAlert ? ViewKind::Alert : ViewKind::Sheet), presenter.env, true);
    return root;
}

// --- Layers and walking ---

void ViewGraph::forEachNode(const std::function<void(const std::shared_ptr<Node>&)>& visit) const {
    std::function<void(const std::shared_ptr<Node>&)> walk = [&](const std::shared_ptr<Node>& n) {
        visit(n);
        for (const auto& c : n->children)
            walk(c);
    };
    walk(root_);
    for (const auto& layer : layers_)
        walk(layer);
}

std::vector<RenderLayer> ViewGraph::layers() const {
    std::vector<RenderLayer> out;
    out.push_back(
        {RenderLayer::Kind::Content, NodeRef(root_), {0, 0, contentSize_.width, contentSize_.height}});
    for (const auto& layer : layers_) {
        auto kind =
            layer->data->kind == ViewKind::Alert ? RenderLayer::Kind::Alert : RenderLayer::Kind::Sheet;
        out.push_back({kind, NodeRef(layer), layer->frame});
    }
    return out;
}

void ViewGraph::layoutAll() {
    LayoutEngine engine(*metrics_);
    for (const auto& layer : layers_)
        LayoutEngine::prepare(*layer);
    engine.layoutRoot(*root_, Rect{0, 0, contentSize_.width, contentSize_.height});
    minimumContentSize_ = engine.measure(*root_, ProposedSize{0.0, 0.0});
    for (const auto& layer : layers_) {
        // As large as the content would like within the window, but never below the content's own
        // minimum: a sheet wider than a narrow window reaches past its edges rather than cut off
        // the controls at its sides.
        // The height is the one the content wants at the width it gets, so text that wraps there
        // has its lines.
        const Size ideal = engine.measure(*layer, ProposedSize{});
        const Size least = engine.measure(*layer, ProposedSize{0.0, 0.0});
        const double width = std::max(least.width, std::min(ideal.width, contentSize_.width));
        const Size wanted = engine.measure(*layer, ProposedSize{width, std::nullopt});
        const Size size{width, std::max(least.height, std::min(wanted.height, contentSize_.height))};
        // Sheets hang from the top edge of the window; an alert sits in the middle of the window or
        // of the sheet it covers, which is where it is drawn.
        if (layer->data->kind == ViewKind::Alert) {
            Rect over{0, 0, contentSize_.width, contentSize_.height};
            for (const auto& below : layers_) {
                if (below == layer) break;
                if (below->data->kind == ViewKind::Sheet) over = below->frame;
            }
            engine.layoutRoot(*layer, Rect{over.x + (over.width - size.width) / 2,
                                           over.y + std::max(0.0, (over.height - size.height) / 2),
                                           size.width, size.height});
            continue;
        }
        engine.layoutRoot(*layer, Rect{(contentSize_.width - size.width) / 2, 0, size.width, size.height});
    }
}

} // namespace plat::ui::detail
