// The live tree of one window: builds nodes from view values, keeps their identity across
// rebuilds, runs the update pass (rebuild what was invalidated, lifecycle, presentations, layout,
// release of dead state) and holds the presented sheets and alerts as layers.
//
// Main thread only. Every member is in ViewGraph.cpp; the views of the presented layers are built by
// PresentedViews.h.
#pragma once

#include "platform/ui/EditHistory.h"
#include "platform/ui/FieldSelection.h"
#include "platform/ui/Node.h"
#include "platform/ui/Renderer.h"
#include "platform/ui/TextMetrics.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace plat::ui::detail {

class ViewGraph {
public:
    ViewGraph(AnyView root, Size contentSize, std::shared_ptr<const TextMetrics> metrics);
    ~ViewGraph();
    ViewGraph(const ViewGraph&) = delete;
    ViewGraph& operator=(const ViewGraph&) = delete;

    bool needsUpdate() const { return hasDirty_ || needsLayout_ || !pending_.empty(); }
    // One update pass: rebuilds and lifecycle until nothing is left to do (bounded), then layout,
    // then release of what left the tree.
    void performPass();

    Size contentSize() const { return contentSize_; }
    void setContentSize(Size size);
    // What the content measures when offered nothing: its least size, as of the last layout.
    Size minimumContentSize() const { return minimumContentSize_; }

    const std::shared_ptr<Node>& root() const { return root_; }
    // The content and the presented layers, back to front.
    std::vector<RenderLayer> layers() const;
    // Every live node: the content, then each layer, in tree order.
    void forEachNode(const std::function<void(const std::shared_ptr<Node>&)>& visit) const;

    std::size_t bodyEvaluations() const { return bodyEvaluations_; }
    bool isInPass() const { return inPass_; }
    const TextMetrics& metrics() const { return *metrics_; }

    // Marks a screen or root for rebuild and asks for a pass.
    void markDirty(Node& node);
    // Called after each pass that changed something.
    void setDisplayHandler(std::function<void()> handler) { displayHandler_ = std::move(handler); }

    // Input bookkeeping: the focused control and the open menu live here so they die with the nodes.
    std::weak_ptr<Node> focused;
    // The focused field's caret and selection (see FieldEditor).
    FocusedFieldSelection fieldSelection;
    // The undo history of the field edited last.
    EditHistory editHistory;
    // The row a focused list's arrow keys have moved to (its tag); none: the list's selection.
    Tag focusedRow;
    std::weak_ptr<Node> openMenu;
    // The entry of the open menu the arrow keys have moved to, by its place among the rows; -1: none.
    int menuCursor = -1;

private:
    struct Pending {
        enum class Kind { Disappear, Appear, Subscribe, Change };
        Pending(Kind k, std::shared_ptr<Node> n, std::size_t i = 0, std::shared_ptr<const void> v = nullptr,
                std::function<void(const void*)> a = nullptr)
            : kind(k), node(std::move(n)), index(i), value(std::move(v)), action(std::move(a)) {}
        Kind kind;
        std::shared_ptr<Node> node;
        std::size_t index = 0;
        std::shared_ptr<const void> value;
        std::function<void(const void*)> action;
    };

    std::shared_ptr<Node> makeNode(Node* parent, std::string key);
    void build(Node& node, const std::shared_ptr<const ViewData>& data,
               const std::shared_ptr<const EnvironmentValues>& parentEnv, bool force);
    // Whether a built screen's place, built again from `data`, can keep its body.
    static bool keepsBody(const Node& node, const ViewData& data,
                          const std::shared_ptr<const EnvironmentValues>& parentEnv);
    void evaluateBody(Node& node);
    // Makes the node and its ancestors measure again in the next layout.
    void invalidateLayout(Node& node);
    void reconcileChildren(Node& node, const std::vector<AnyView>& views);
    void noteLifecycle(Node& node);
    void retire(const std::shared_ptr<Node>& node);
    bool rebuildDirty();
    void runPending();
    void syncPresentations();
    // Puts each sheet's navigation title above its content (a rebuild of the sheet when it changed).
    void syncSheetTitles();
    void syncPresentation(Node& presenter, std::size_t index);
    std::shared_ptr<Node> presentRoot(Node& presenter, std::size_t index);
    void layoutAll();
    void releaseRetired();
    static void releaseLater(std::shared_ptr<std::vector<std::unique_ptr<Screen>>> screens);

    std::shared_ptr<Node> root_;
    std::vector<std::shared_ptr<Node>> layers_; // presented roots, oldest first
    Size contentSize_;
    Size minimumContentSize_;
    std::shared_ptr<const TextMetrics> metrics_;
    std::vector<Pending> pending_;
    std::vector<std::shared_ptr<Node>> retired_;
    std::vector<std::unique_ptr<Screen>> retiredScreens_;
    std::function<void()> displayHandler_;
    std::size_t bodyEvaluations_ = 0;
    std::size_t round_ = 0;
    bool hasDirty_ = false;
    bool needsLayout_ = true;
    bool inPass_ = false;
};

} // namespace plat::ui::detail
