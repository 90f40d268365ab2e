// How input reaches the view tree: clicks (on a node, or at a point by hit-testing; a click inside
// a field or its drawn outline focuses the field and puts the caret there), typing and the caret
// keys in the focused field (the arrows, Home and End; see FieldEditor), keys (Return and
// Escape for the default and cancel actions, other shortcuts), keyboard focus (Tab and Shift-Tab move it
// through every control of the top layer; Space presses the focused control; Up and Down move through a
// focused list's rows or an open menu's entries, and Return or Space choose the row or entry reached),
// and choosing picker entries and list rows. Input is refused for nodes that are gone, disabled, or under
// a presented sheet or alert. The caller runs an update pass afterwards.
//
// Main thread only. The keyboard-focus members are in InputFocus.cpp.
#pragma once

#include "platform/ui/KeyEvent.h"
#include "platform/ui/ViewGraph.h"

#include <functional>
#include <string_view>

namespace plat::ui::detail {

class Input {
public:
    explicit Input(ViewGraph& graph) : graph_(graph) {}

    bool activate(Node& node);
    bool clickAt(Point location);
    // What a click at the point reaches: a control (or the list row) under it, or the field whose
    // drawn outline holds it; null for nothing.
    Node* targetAt(Point location) const;
    // A press of the pointer's button in a field: the field takes the focus and the caret goes to
    // the character boundary under the pointer. With `extend` (Shift held) the selection stretches
    // there instead; the second press of a quick series selects the word there, the third the whole
    // text.
    bool pressField(Node& field, Point location, bool extend, int clickCount);
    // The pointer dragged on from the press `drag` in `field`: the selection stretches to it (see
    // FieldEditor::dragTo); with `held`, the pointer held still beyond the field's side, it takes one
    // more step that way.
    bool dragField(Node& field, Point location, const FieldDrag& drag, bool held = false);
    // Whether the point lies beyond the left or right side of the focused `field`'s text.
    bool beyondFieldSide(Node& field, Point location);
    bool focus(Node& node);
    bool insertText(std::string_view text);
    bool keyDown(const KeyEvent& event);
    // Chooses the entry (picker) or row (list) tagged `tag`.
    bool select(Node& node, const Tag& tag);
    // A middle click: the field under the point takes the focus and the desktop's selection.
    bool pasteSelectionAt(Point location);

    // Controls that Tab stops at: fields, buttons, toggles, pickers, menus (not their items) and
    // lists with a selection, enabled and shown.
    static bool focusable(const Node& node);
    // The row of a focused list that Up and Down have reached (else its selected row, else its
    // first); null when the list has no tagged row.
    static Node* keyboardRow(const ViewGraph& graph, const Node& list);

private:
    // Runs an action of the tree's; one that throws is logged and has done what it did.
    static void runAction(const std::function<void()>& action);
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
    // The focused field, for the keys and typing; none while a menu is open: the menu takes them.
    Node* focusedField() const;
    // The Edit commands (Command with A, X, C, V, Z, Shift-Z) on the focused field.
    bool editCommand(Node& field, const KeyEvent& event);
    // Left, Right, Home and End on the focused field: the caret moves (by word with Command), and
    // with Shift the selection stretches.
    bool caretKey(Node& field, const KeyEvent& event);
    // The field under the point, as a click would reach it.
    Node* fieldAt(Point location) const;
    // The deepest node under the point that something answers a click for, else the field whose
    // outline holds the point.
    Node* hitAt(Point location) const;
    // --- InputFocus.cpp ---
    bool moveFocus(bool backwards);
    // Space on the focused control.
    bool pressFocused();
    // Up and Down: through the open menu's entries, else the focused list's rows.
    bool arrow(bool down);
    // Return (and Space on a list): the open menu's entry or the focused list's row the arrows
    // reached; a list's row-submit action follows the choice.
    bool chooseReached();
    bool moveInList(Node& list, bool down);

    ViewGraph& graph_;
};

} // namespace plat::ui::detail
