// A live node of the view graph: one place in a window's tree, with the view value it was last
// built from, its resolved environment, its frame, and — for screens — the screen instance and the
// storage its state members use. Internal to the toolkit; NodeRef is the public handle.
#pragma once

#include "platform/foundation/Cancellable.h"
#include "platform/ui/BuildContext.h"
#include "platform/ui/EnvironmentValues.h"
#include "platform/ui/LayoutValues.h"
#include "platform/ui/NodeLink.h"
#include "platform/ui/Presentation.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewData.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plat::ui::detail {

class ViewGraph;

struct Node : std::enable_shared_from_this<Node> {
    ViewGraph* graph = nullptr;
    Node* parent = nullptr; // a parent outlives its children in the tree
    std::string key;        // identity among its siblings
    std::shared_ptr<const ViewData> data;
    // The environment handed down by the parent, and the one this node's modifiers made of it.
    std::shared_ptr<const EnvironmentValues> parentEnv;
    std::shared_ptr<const EnvironmentValues> env;
    std::vector<std::shared_ptr<Node>> children;
    Rect frame;
    bool alive = true;

    // Screens and roots of presented content rebuild on their own: they own a link that state
    // invalidates, and a body (the screen's, or `rootBody` for a window or a presentation).
    std::unique_ptr<Screen> screen;
    std::vector<Slot> slots;
    std::shared_ptr<NodeLink> link;
    std::function<AnyView()> rootBody;
    bool dirty = false;
    std::size_t builtInRound = 0; // the graph round of the last build

    // Lifecycle
    bool appeared = false;
    struct Receiver {
        const void* source = nullptr;
        std::string sourceName;
        std::shared_ptr<std::function<void(const void*)>> action; // swapped on each build
        AnyCancellable subscription;
        bool subscribed = false;
    };
    std::vector<Receiver> receivers;
    std::vector<std::shared_ptr<const void>> changeValues; // last value per onChange

    // Content this node presents, one entry per presentation modifier.
    struct Presented {
        std::shared_ptr<Node> root;
        std::optional<Alert> alert;
    };
    std::vector<Presented> presented;
    // For the root of a sheet or alert: the node that presents it and which of its presentations.
    Node* presenter = nullptr;
    std::size_t presentationIndex = 0;
    // For the root of a sheet: the navigation title its content carries, shown above it.
    std::optional<TextValue> sheetTitle;

    // Layout: sizes measured for proposals. They stay valid across passes until the node or a
    // node below it is built again (see ViewGraph::invalidateLayout).
    std::vector<std::pair<ProposedSize, Size>> measured;
    bool measuredValid = false;

    bool isRoot() const { return rootBody != nullptr; }
    bool rebuildsItself() const { return link != nullptr; }
};

} // namespace plat::ui::detail
