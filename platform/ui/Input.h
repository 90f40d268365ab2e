// How input reaches the view tree: clicks (on a node, or at a point by hit-testing; a click inside
// a field's drawn outline focuses the field), typing into the focused field (Command-A selects its
// whole text, which typing then replaces), keys (Return and Escape for the default and cancel actions, Tab
// for focus, other shortcuts), and choosing picker entries and list rows. Input is refused for nodes that are
// gone, disabled, or under a presented sheet or alert. The caller runs an update pass afterwards.
//
// Main thread only.
#pragma once

#include "platform/ui/KeyEvent.h"
#include "platform/ui/ViewGraph.h"

#include <string_view>

namespace plat::ui::detail {

class Input {
public:
    explicit Input(ViewGraph& graph) : graph_(graph) {}

    bool activate(Node& node);
    bool clickAt(Point location);
    bool focus(Node& node);
    bool insertText(std::string_view text);
    bool keyDown(const KeyEvent& event);
    // Chooses the entry (picker) or row (list) tagged `tag`.
    bool select(Node& node, const Tag& tag);

private:
    Node* topLayer() const;
    // Alive, of this graph, in the top layer, enabled.
    bool reachable(const Node& node) const;
    Node* shortcutTarget(const KeyEvent& event) const;
    // Inside the window's menu bar (see AnyView::menuBar).
    bool inMenuBar(const Node& node) const;
    // The field whose drawn outline (a shape behind or over it) holds the point, when the click
    // reached nothing else.
    Node* fieldOutlinedAt(Point location) const;
    bool dismissTopLayer();
    bool moveFocus(bool backwards);

    ViewGraph& graph_;
};

} // namespace plat::ui::detail
