#include "platform/ui/Input.h"

#include "platform/log/OSLog.h"
#include "platform/ui/FieldEditor.h"
#include "platform/ui/NodeTree.h"

#include <functional>

namespace plat::ui::detail {

namespace {

bool isField(const Node& n) {
    return n.data->kind == ViewKind::TextField || n.data->kind == ViewKind::SecureField;
}

} // namespace

void Input::runAction(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        OSLog("io.velmora.ui", "input").error(std::string("action failed: ") + e.what());
    }
}

Node* Input::topLayer() const {
    auto layers = graph_.layers();
    return layers.back().root.node().get();
}

bool Input::reachable(const Node& node) const {
    if (!node.alive || node.graph != &graph_) return false;
    if (layerRootOf(const_cast<Node*>(&node)) != topLayer() && !inMenuBar(node)) return false;
    if (!node.env || !node.env->isEnabled) return false;
    if (Node* menu = menuOf(const_cast<Node*>(&node)); menu && !(menu->env && menu->env->isEnabled))
        return false;
    return true;
}

bool Input::activate(Node& node) {
    Node* target = interactiveTarget(&node);
    if (!target || !reachable(*target)) return false;
    const ViewData& d = *target->data;
    switch (d.kind) {
    case ViewKind::Button: {
        if (menuOf(target)) graph_.openMenu.reset();
        auto action = d.controls->action; // the node may be rebuilt while it runs
        if (action) runAction(action);
        return true;
    }
    case ViewKind::Toggle: {
        if (!d.controls->boolBinding) return false;
        auto binding = *d.controls->boolBinding;
        runAction([&] { binding.set(!binding.get()); });
        return true;
    }
    case ViewKind::TextField:
    case ViewKind::SecureField:
        return focus(*target);
    case ViewKind::Menu:
    case ViewKind::Picker: {
        // Opens the items (a picker's entries); a second click closes them. Choosing a picker
        // entry is select().
        auto open = graph_.openMenu.lock();
        if (open.get() == target)
            graph_.openMenu.reset();
        else
            graph_.openMenu = target->shared_from_this();
        graph_.menuCursor = -1;
        return true;
    }
    default:
        break;
    }
    auto row = listRowOf(target);
    if (row.row != target || !row.list->data->controls->selectionBinding) return false;
    Tag tag = rowTag(*target);
    if (tag.isNone()) return false;
    auto binding = *row.list->data->controls->selectionBinding;
    runAction([&] { binding.set(tag); });
    return true;
}

Node* Input::hitAt(Point location) const {
    Node* hit = nullptr;
    // The deepest node under the point that something answers for; later siblings lie on top.
    // Content scrolled out of a list or scroll view is not there to click.
    std::function<void(Node&)> visit = [&](Node& n) {
        const bool inside = n.frame.contains(location);
        if (inside && interactiveTarget(&n)) hit = &n;
        if (!inside && (n.data->kind == ViewKind::List || n.data->kind == ViewKind::ScrollView)) return;
        for (auto& c : n.children)
            visit(*c);
    };
    visit(*topLayer());
    return hit ? hit : fieldOutlinedAt(location);
}

Node* Input::targetAt(Point location) const {
    Node* hit = hitAt(location);
    return hit ? interactiveTarget(hit) : nullptr;
}

bool Input::clickAt(Point location) {
    Node* hit = hitAt(location);
    if (!hit) {
        graph_.focused.reset();
        graph_.fieldSelection = {};
        return false;
    }
    Node* target = interactiveTarget(hit);
    if (target && isField(*target)) return pressField(*target, location, false, 1);
    return activate(*hit);
}

bool Input::pressField(Node& field, Point location, bool extend, int clickCount) {
    if (!isField(field) || !reachable(field)) return false;
    // The caret goes to the character drawn under the pointer, so the text's scroll is taken
    // before the focus moves; Shift stretches a selection the field already has.
    const double scroll = FieldEditor(graph_, field).textScroll();
    const bool focused = graph_.focused.lock().get() == &field;
    if (!focused && !focus(field)) return false;
    FieldEditor editor(graph_, field);
    if (clickCount >= 3) return editor.selectAll();
    if (clickCount == 2) return editor.selectWordAt(location.x, scroll);
    return editor.placeCaret(location.x, scroll, extend);
}

bool Input::dragField(Node& field, Point location, const FieldDrag& drag, bool held) {
    if (graph_.focused.lock().get() != &field || !reachable(field)) return false;
    return FieldEditor(graph_, field).dragTo(location.x, drag, held);
}

bool Input::beyondFieldSide(Node& field, Point location) {
    if (graph_.focused.lock().get() != &field || !reachable(field)) return false;
    return FieldEditor(graph_, field).sideBeyond(location.x) != 0;
}

Node* Input::fieldAt(Point location) const {
    Node* hit = nullptr;
    std::function<void(Node&)> visit = [&](Node& n) {
        const bool inside = n.frame.contains(location);
        if (inside && isField(n)) hit = &n;
        if (!inside && (n.data->kind == ViewKind::List || n.data->kind == ViewKind::ScrollView)) return;
        for (auto& c : n.children)
            visit(*c);
    };
    visit(*topLayer());
    return hit ? hit : fieldOutlinedAt(location);
}

bool Input::pasteSelectionAt(Point location) {
    Node* field = fieldAt(location);
    if (!field) return false;
    const double scroll = FieldEditor(graph_, *field).textScroll();
    if (!focus(*field)) return false;
    // In at the pointer, as the desktop's other programs paste it.
    FieldEditor editor(graph_, *field);
    return editor.placeCaret(location.x, scroll) && editor.paste(PasteboardName::selection);
}

Node* Input::fieldOutlinedAt(Point location) const {
    // A field's outline is the background or overlay shape drawn around it and what the field is
    // padded with inside it (a plain field in a bordered box): the nearest such decoration above
    // the field that holds no other field.
    auto outlined = [](Node& field) -> const Node* {
        for (Node* cur = field.parent; cur; cur = cur->parent) {
            std::size_t fields = 0;
            walkSubtree(*cur, [&](Node& n) { fields += isField(n) ? 1 : 0; });
            if (fields > 1) return nullptr;
            const ViewKind k = cur->data->kind;
            if ((k == ViewKind::Background || k == ViewKind::Overlay) && cur->children.size() > 1) {
                Node* part = cur->children[1].get();
                while (part && isTransparent(part->data->kind) && part->children.size() == 1)
                    part = part->children[0].get();
                if (part && (part->data->kind == ViewKind::Shape || part->data->kind == ViewKind::Color))
                    return cur;
            }
        }
        return nullptr;
    };
    Node* found = nullptr;
    walkSubtree(*topLayer(), [&](Node& n) {
        if (!isField(n) || !reachable(n)) return;
        if (const Node* outline = outlined(n); outline && outline->frame.contains(location)) found = &n;
    });
    return found;
}

bool Input::focus(Node& node) {
    if (!isField(node) || !reachable(node)) return false;
    graph_.focused = node.shared_from_this();
    // Clicking into a field (or moving to another) ends a selection; the caret starts at the end.
    graph_.fieldSelection = {};
    return true;
}

Node* Input::focusedField() const {
    // Left and Right then move between the menus of a bar, and typing does not edit the field
    // behind the menu.
    if (graph_.openMenu.lock()) return nullptr;
    auto field = graph_.focused.lock();
    if (!field || !isField(*field) || !reachable(*field)) return nullptr;
    return field.get();
}

bool Input::insertText(std::string_view text) {
    Node* field = focusedField();
    return field && FieldEditor(graph_, *field).insert(text);
}

bool Input::editCommand(Node& field, const KeyEvent& event) {
    FieldEditor editor(graph_, field);
    const std::string& c = event.character;
    if (event.modifiers == (KeyModifiers::Command | KeyModifiers::Shift))
        return (c == "z" || c == "Z") && editor.redo();
    if (event.modifiers != KeyModifiers::Command) return false;
    if (c == "a" || c == "A") return editor.selectAll();
    if (c == "x" || c == "X") return editor.cut();
    if (c == "c" || c == "C") return editor.copy();
    if (c == "v" || c == "V") return editor.paste();
    if (c == "z" || c == "Z") return editor.undo();
    return false;
}

bool Input::caretKey(Node& field, const KeyEvent& event) {
    const auto bits = static_cast<std::uint8_t>(event.modifiers);
    const bool extend = bits & static_cast<std::uint8_t>(KeyModifiers::Shift);
    const bool word = bits & static_cast<std::uint8_t>(KeyModifiers::Command);
    if (bits & ~static_cast<std::uint8_t>(KeyModifiers::Shift | KeyModifiers::Command)) return false;
    using Move = FieldEditor::Move;
    Move how = Move::End;
    switch (event.key) {
    case Key::Left:
        how = word ? Move::WordLeft : Move::Left;
        break;
    case Key::Right:
        how = word ? Move::WordRight : Move::Right;
        break;
    case Key::Home:
        how = Move::Home;
        break;
    default:
        break;
    }
    return FieldEditor(graph_, field).move(how, extend);
}

bool Input::inMenuBar(const Node& node) const {
    // Only the window's own content has a menu bar; a menu bar takes no part in presented layers.
    if (layerRootOf(const_cast<Node*>(&node)) != graph_.root().get()) return false;
    for (const Node* cur = &node; cur; cur = cur->parent)
        if (cur->data && cur->data->attrs->menuBar) return true;
    return false;
}

Node* Input::shortcutTarget(const KeyEvent& event) const {
    Node* found = nullptr;
    // The top layer's own shortcuts first, then the window's menu bar, which answers under sheets.
    std::vector<Node*> scopes{topLayer()};
    if (topLayer() != graph_.root().get()) {
        walkSubtree(*graph_.root(), [&](Node& n) {
            if (n.data && n.data->attrs->menuBar) scopes.push_back(&n);
        });
    }
    for (Node* scope : scopes)
        walkSubtree(*scope, [&](Node& n) {
            if (found || !n.alive) return;
            const auto& shortcut = n.data->attrs->shortcut;
            if (!shortcut || !shortcut->matches(event)) return;
            // The shortcut may sit on the button itself or on a wrapper around it.
            Node* target = n.data->kind == ViewKind::Button ? &n : nullptr;
            for (Node* cur = &n; !target && cur;
                 cur = cur->children.size() == 1 ? cur->children[0].get() : nullptr)
                if (cur->data->kind == ViewKind::Button) target = cur;
            if (target && reachable(*target)) found = target;
        });
    return found;
}

bool Input::dismissTopLayer() {
    Node* top = topLayer();
    Node* presenter = top->presenter;
    if (!presenter || !presenter->alive) return false;
    const auto& specs = presenter->data->attrs->presentations;
    if (top->presentationIndex >= specs.size() || !specs[top->presentationIndex].dismiss) return false;
    auto dismiss = specs[top->presentationIndex].dismiss;
    runAction(dismiss);
    return true;
}

bool Input::keyDown(const KeyEvent& event) {
    switch (event.key) {
    case Key::Tab:
        return moveFocus(event.modifiers == KeyModifiers::Shift);
    case Key::Backspace:
    case Key::Delete: {
        Node* field = focusedField();
        return field && FieldEditor(graph_, *field).deleteBackward(event.key == Key::Delete);
    }
    case Key::Escape:
        if (graph_.openMenu.lock()) {
            graph_.openMenu.reset();
            return true;
        }
        if (Node* target = shortcutTarget(event)) return activate(*target);
        return dismissTopLayer();
    case Key::Left:
    case Key::Right:
    case Key::Home:
    case Key::End:
        if (Node* field = focusedField(); field && caretKey(*field, event)) return true;
        break;
    case Key::Up:
    case Key::Down:
        if (event.modifiers == KeyModifiers::None && arrow(event.key == Key::Down)) return true;
        break;
    case Key::Return:
        if (event.modifiers == KeyModifiers::None && chooseReached()) return true;
        break;
    case Key::Space:
        if (event.modifiers == KeyModifiers::None && pressFocused()) return true;
        break;
    case Key::Character:
        if (event.modifiers == KeyModifiers::None || event.modifiers == KeyModifiers::Shift) {
            if (focusedField()) return insertText(event.character);
        }
        if (Node* field = focusedField(); field && editCommand(*field, event)) return true;
        break;
    default:
        break;
    }
    if (Node* target = shortcutTarget(event)) return activate(*target);
    return false;
}

bool Input::select(Node& node, const Tag& tag) {
    Node* picker = nullptr;
    for (Node* cur = &node; cur && !picker; cur = cur->parent)
        if (cur->data->kind == ViewKind::Picker || cur->data->kind == ViewKind::List) picker = cur;
    if (!picker || !reachable(*picker)) return false;
    if (picker->data->kind == ViewKind::List) {
        Node* row = nullptr;
        walkSubtree(*picker, [&](Node& n) {
            auto r = listRowOf(&n);
            if (!row && r.row == &n && r.list == picker && rowTag(n) == tag) row = &n;
        });
        return row && activate(*row);
    }
    bool exists = false;
    walkSubtree(*picker, [&](Node& n) {
        if (&n != picker && n.data->attrs->tag == tag) exists = true;
    });
    if (!exists || !picker->data->controls->tagBinding) return false;
    // Choosing an entry closes the picker's open entries.
    if (graph_.openMenu.lock().get() == picker) graph_.openMenu.reset();
    auto binding = *picker->data->controls->tagBinding;
    runAction([&] { binding.set(tag); });
    return true;
}

} // namespace plat::ui::detail
