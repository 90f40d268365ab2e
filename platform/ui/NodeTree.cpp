#include "platform/ui/NodeTree.h"

namespace plat::ui::detail {

namespace {
bool isRepeat(ViewKind k) {
    return k == ViewKind::ForEach || k == ViewKind::Group || k == ViewKind::Branch;
}
} // namespace

ListRow listRowOf(Node* node) {
    for (Node* cur = node; cur && cur->parent; cur = cur->parent) {
        Node* p = cur->parent;
        while (p && isRepeat(p->data->kind))
            p = p->parent;
        if (p && p->data->kind == ViewKind::List && !isRepeat(cur->data->kind)) return {cur, p};
    }
    return {};
}

Tag rowTag(const Node& row) {
    for (const Node* cur = &row; cur; cur = cur->children.size() == 1 ? cur->children[0].get() : nullptr) {
        if (!cur->data->attrs->tag.isNone()) return cur->data->attrs->tag;
        if (!isTransparent(cur->data->kind)) break;
    }
    return {};
}

Node* menuOf(Node* node) {
    for (Node* cur = node; cur && cur->parent; cur = cur->parent) {
        Node* p = cur->parent;
        if (p->data->kind == ViewKind::Menu && !p->children.empty() && p->children[0].get() != cur) return p;
    }
    return nullptr;
}

Node* interactiveTarget(Node* node) {
    for (Node* cur = node; cur; cur = cur->parent) {
        switch (cur->data->kind) {
        case ViewKind::Button:
        case ViewKind::Toggle:
        case ViewKind::TextField:
        case ViewKind::SecureField:
        case ViewKind::Picker:
        case ViewKind::Menu:
            return cur;
        default:
            break;
        }
        auto row = listRowOf(cur);
        if (row.row == cur && row.list->data->controls->selectionBinding) return cur;
    }
    return nullptr;
}

void walkSubtree(Node& node, const std::function<void(Node&)>& visit) {
    visit(node);
    for (auto& c : node.children)
        walkSubtree(*c, visit);
}

Node* layerRootOf(Node* node) {
    Node* cur = node;
    while (cur && cur->parent)
        cur = cur->parent;
    return cur;
}

std::string ownText(const Node& node) {
    const ViewData& d = *node.data;
    switch (d.kind) {
    case ViewKind::Text:
    case ViewKind::Label:
    case ViewKind::TextField:
    case ViewKind::SecureField:
    case ViewKind::Picker:
    case ViewKind::ProgressView:
        return d.text.resolve(node.env ? node.env->localize : Localizer());
    default:
        return {};
    }
}

std::string subtreeText(const Node& node) {
    if (node.data->kind == ViewKind::Text) return ownText(node);
    std::string out;
    for (const auto& c : node.children) {
        std::string part = subtreeText(*c);
        if (part.empty()) continue;
        if (!out.empty()) out += ' ';
        out += part;
    }
    return out;
}

} // namespace plat::ui::detail
