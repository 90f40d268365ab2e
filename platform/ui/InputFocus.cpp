// Input: keyboard focus and the keys that act on the focused control or the open menu (see Input.h).
#include "platform/ui/Input.h"

#include "platform/ui/NodeTree.h"
#include "platform/ui/PopupLayout.h"
#include "platform/ui/ScrollLayout.h"
#include "platform/ui/ScrollState.h"

#include <functional>
#include <vector>

namespace plat::ui::detail {

namespace {

// The tagged rows of a list, in tree order.
std::vector<Node*> rowsOf(Node& list) {
    std::vector<Node*> rows;
    walkSubtree(list, [&](Node& n) {
        auto row = listRowOf(&n);
        if (row.row == &n && row.list == &list && !rowTag(n).isNone()) rows.push_back(&n);
    });
    return rows;
}

} // namespace

bool Input::focusable(const Node& node) {
    if (!node.alive || !node.env || !node.env->isEnabled) return false;
    if (node.frame.width <= 0 || node.frame.height <= 0) return false;
    switch (node.data->kind) {
    case ViewKind::TextField:
    case ViewKind::SecureField:
    case ViewKind::Button:
    case ViewKind::Toggle:
    case ViewKind::Picker:
    case ViewKind::Menu:
        // A menu's items are reached through the open menu, not one by one.
        return !menuOf(const_cast<Node*>(&node));
    case ViewKind::List:
        return static_cast<bool>(node.data->controls->selectionBinding);
    default:
        return false;
    }
}

Node* Input::keyboardRow(const ViewGraph& graph, const Node& list) {
    const auto rows = rowsOf(const_cast<Node&>(list));
    if (rows.empty()) return nullptr;
    auto find = [&](const Tag& tag) -> Node* {
        for (Node* row : rows)
            if (rowTag(*row) == tag) return row;
        return nullptr;
    };
    if (graph.focused.lock().get() == &list && !graph.focusedRow.isNone())
        if (Node* row = find(graph.focusedRow)) return row;
    if (const auto& binding = list.data->controls->selectionBinding)
        if (auto selected = binding->get())
            if (Node* row = find(*selected)) return row;
    return rows.front();
}

bool Input::moveFocus(bool backwards) {
    std::vector<Node*> controls;
    walkSubtree(*topLayer(), [&](Node& n) {
        if (focusable(n) && reachable(n) && !inMenuBar(n)) controls.push_back(&n);
    });
    if (controls.empty()) return false;
    auto current = graph_.focused.lock();
    std::size_t at = controls.size();
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i] == current.get()) at = i;
    std::size_t next;
    if (at == controls.size())
        next = backwards ? controls.size() - 1 : 0;
    else
        next = backwards ? (at + controls.size() - 1) % controls.size() : (at + 1) % controls.size();
    graph_.focused = controls[next]->shared_from_this();
    graph_.fieldSelection = {};
    graph_.focusedRow = Tag();
    // An open menu closes as the focus leaves for another control.
    graph_.openMenu.reset();
    return true;
}

bool Input::pressFocused() {
    if (graph_.openMenu.lock()) return chooseReached();
    auto focused = graph_.focused.lock();
    if (!focused || !reachable(*focused)) return false;
    switch (focused->data->kind) {
    case ViewKind::Button:
    case ViewKind::Toggle:
    case ViewKind::Picker:
    case ViewKind::Menu:
        return activate(*focused);
    case ViewKind::List:
        return chooseReached();
    default:
        return false;
    }
}

bool Input::arrow(bool down) {
    if (auto open = graph_.openMenu.lock()) {
        auto popup = layoutPopup(graph_);
        if (!popup) return true;
        const int count = static_cast<int>(popup->rows.size());
        // The next entry that can be chosen, from where the cursor is; it stays put at either end.
        for (int i = graph_.menuCursor + (down ? 1 : -1); i >= 0 && i < count; i += down ? 1 : -1) {
            const auto& row = popup->rows[static_cast<std::size_t>(i)];
            if (row.separator || !row.enabled) continue;
            graph_.menuCursor = i;
            break;
        }
        return true;
    }
    auto focused = graph_.focused.lock();
    if (!focused || focused->data->kind != ViewKind::List || !reachable(*focused)) return false;
    return moveInList(*focused, down);
}

bool Input::moveInList(Node& list, bool down) {
    const auto rows = rowsOf(list);
    Node* at = keyboardRow(graph_, list);
    if (!at) return true;
    std::size_t i = 0;
    while (rows[i] != at)
        ++i;
    if (down && i + 1 < rows.size()) ++i;
    if (!down && i > 0) --i;
    Node& row = *rows[i];
    graph_.focusedRow = rowTag(row);
    // Brought into view: the list scrolls just far enough to show the whole row.
    double delta = 0;
    if (row.frame.y < list.frame.y)
        delta = row.frame.y - list.frame.y;
    else if (row.frame.maxY() > list.frame.maxY())
        delta = row.frame.maxY() - list.frame.maxY();
    if (delta != 0 && ScrollState::of(list)->scrollBy(delta)) placeScrolled(list, graph_.metrics());
    return true;
}

bool Input::chooseReached() {
    if (auto open = graph_.openMenu.lock()) {
        auto popup = layoutPopup(graph_);
        if (!popup || graph_.menuCursor < 0 || graph_.menuCursor >= static_cast<int>(popup->rows.size()))
            return true;
        Node* item = popup->rows[static_cast<std::size_t>(graph_.menuCursor)].item.node().get();
        if (!item || !item->alive) return true;
        if (open->data->kind == ViewKind::Picker) return select(*open, item->data->attrs->tag);
        return activate(*item);
    }
    auto focused = graph_.focused.lock();
    if (!focused || focused->data->kind != ViewKind::List || !reachable(*focused)) return false;
    Node* row = keyboardRow(graph_, *focused);
    if (!row) return false;
    // Copies: choosing the row may rebuild the list.
    const Tag tag = rowTag(*row);
    const auto submit = focused->data->attrs->rowSubmit;
    if (!activate(*row)) return false;
    if (submit) runAction([&] { submit(tag); });
    return true;
}

} // namespace plat::ui::detail
