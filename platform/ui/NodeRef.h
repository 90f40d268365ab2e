// A handle on one node of a laid-out view tree, as queries return it: what it shows, its state, its
// frame and its relatives. It stays safe to hold after the node has left the tree; it then reports
// !isAlive() and input through it is refused.
//
// Main thread only.
#pragma once

#include "platform/ui/EnvironmentValues.h"
#include "platform/ui/FieldSelection.h"
#include "platform/ui/KeyEvent.h"
#include "platform/ui/LayoutValues.h"
#include "platform/ui/Tag.h"
#include "platform/ui/ViewKind.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat::ui {

struct ViewData;
class Query;
namespace detail {
struct Node;
}

class NodeRef {
public:
    NodeRef() = default;
    explicit NodeRef(std::shared_ptr<detail::Node> node) : node_(std::move(node)) {}

    // True when the handle names a node (alive or not).
    explicit operator bool() const { return node_ != nullptr; }
    // True while the node is part of its tree.
    bool isAlive() const;

    ViewKind kind() const;
    // The text a Text or Label node shows (localised, arguments in place); for other nodes the texts
    // of their subtree joined by single spaces.
    std::string text() const;
    // A text or secure field's placeholder.
    std::string placeholder() const;
    // A text or secure field's current text.
    std::string value() const;
    // The symbol name of a system image (also a Label's icon), else empty.
    std::string symbol() const;
    // The asset name of an image, else empty.
    std::string imageName() const;
    std::string testId() const;
    std::optional<std::string> help() const;
    std::optional<std::string> navigationTitle() const;
    std::optional<KeyboardShortcut> keyboardShortcut() const;
    // A toggle's state.
    std::optional<bool> isOn() const;
    // The tag the node carries (a list row or picker entry), if any.
    std::optional<Tag> tag() const;
    // A picker's or list's current selection.
    std::optional<Tag> selection() const;
    // A list row whose tag equals its list's selection.
    bool isSelected() const;
    // Enabled unless it or an ancestor is disabled.
    bool isEnabled() const;
    // A text field that has the keyboard focus and some of its text selected.
    bool hasSelectedText() const;
    // A text field's caret and selection (offsets into value()) while it has the keyboard focus.
    std::optional<FieldSelection> fieldSelection() const;
    // How far a text field's text is moved left as drawn: its start shows unless it has the focus,
    // when it keeps the caret in view (see scrollShowingCaret in FieldGeometry.h).
    double fieldTextScroll() const;
    // The row of a focused list that its arrow keys stand on (Return chooses it).
    bool isKeyboardRow() const;
    // The component type's name for a screen's node ("LoginView"), else empty.
    std::string typeName() const;

    // Where the last layout put it, in window points.
    Rect frame() const;
    // The environment it was built with (font, colours, styles, enabled).
    const EnvironmentValues& environment() const;
    const ViewData& data() const;

    NodeRef parent() const;
    std::vector<NodeRef> children() const;
    // The first node of the subtree (itself included) that matches, in tree order.
    NodeRef find(const Query& query) const;
    std::vector<NodeRef> findAll(const Query& query) const;

    // One line: kind, texts and attributes, frame.
    std::string describe() const;

    bool operator==(const NodeRef& o) const { return node_ == o.node_; }
    const std::shared_ptr<detail::Node>& node() const { return node_; }

private:
    std::shared_ptr<detail::Node> node_;
};

} // namespace plat::ui
