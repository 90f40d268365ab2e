// Questions about a live node's place in its tree that queries and input share: which list row,
// menu, control or layer it belongs to.
#pragma once

#include "platform/ui/Node.h"

#include <functional>
#include <string>

namespace plat::ui::detail {

struct ListRow {
    Node* row = nullptr; // the list's child (through repeated content) that holds the node
    Node* list = nullptr;
};
// The row of a list that `node` is part of, if any.
ListRow listRowOf(Node* node);
// The tag of a row: its own, or that of the single-child chain of transparent nodes below it.
Tag rowTag(const Node& row);
// The nearest menu that lists `node` among its items (not its label).
Node* menuOf(Node* node);
// The node that answers a click on `node`: a button, toggle, field, picker, menu or selectable list
// row, the node itself or an ancestor.
Node* interactiveTarget(Node* node);
// Visits `node` and everything below it, in tree order.
void walkSubtree(Node& node, const std::function<void(Node&)>& visit);
// The root of the layer (the content or a presented sheet or alert) that holds `node`.
Node* layerRootOf(Node* node);
// The texts of a subtree's Text nodes, in tree order, joined by single spaces.
std::string subtreeText(const Node& node);
// The shown text of a Text node, a Label's title, a field's placeholder, a picker's label.
std::string ownText(const Node& node);

} // namespace plat::ui::detail
