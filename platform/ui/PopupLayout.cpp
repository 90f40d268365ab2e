#include "platform/ui/PopupLayout.h"

#include "platform/ui/NodeTree.h"
#include "platform/ui/ViewGraph.h"

#include <algorithm>

namespace plat::ui::detail {

namespace {

constexpr double kGap = 2;         // between the control and the panel
constexpr double kLabelGap = 8;    // between a picker's label and its pop-up button
constexpr double kPanelInset = 4;  // above the first row and below the last
constexpr double kRowPadding = 12; // before and after a row's text
constexpr double kIconSide = 16;   // an item's icon, with kIconGap after it
constexpr double kIconGap = 6;
constexpr double kCheckWidth = 18; // room for the picker's check mark
constexpr double kSeparatorHeight = 9;
constexpr double kRowExtra = 8;     // a row is this much taller than its text line
constexpr double kShortcutGap = 24; // between an item's title and its shortcut

void addItems(Node& n, std::vector<Node*>& out) {
    const ViewKind k = n.data->kind;
    if (k == ViewKind::Empty) return;
    if (isTransparent(k)) {
        for (auto& c : n.children)
            addItems(*c, out);
        return;
    }
    out.push_back(&n);
}

// The menu's items (its first child is the label) or the picker's entries, transparent nodes
// looked through.
std::vector<Node*> itemsOf(Node& owner) {
    std::vector<Node*> out;
    const bool menu = owner.data->kind == ViewKind::Menu;
    for (std::size_t i = menu ? 1 : 0; i < owner.children.size(); ++i)
        addItems(*owner.children[i], out);
    return out;
}

std::string iconOf(const NodeRef& item) {
    if (!item.symbol().empty()) return item.symbol();
    for (const NodeRef& c : item.children()) {
        std::string s = iconOf(c);
        if (!s.empty()) return s;
    }
    return {};
}

} // namespace

std::optional<MenuPopup> layoutPopup(const ViewGraph& graph) {
    auto open = graph.openMenu.lock();
    if (!open || !open->alive || open->graph != &graph) return std::nullopt;
    Rect anchor = open->frame;
    if (anchor.width <= 0 && anchor.height <= 0) return std::nullopt;
    const bool picker = open->data->kind == ViewKind::Picker;
    const TextMetrics& metrics = graph.metrics();
    if (picker && open->env && !open->env->labelsHidden) {
        // A picker's label leads its row; the panel hangs from the pop-up button after it.
        const std::string label = open->data->text.resolve(open->env->localize);
        if (!label.empty()) {
            const double labelWidth =
                std::min(metrics.textWidth(label, open->env->effectiveFont()), anchor.width);
            const double skip = labelWidth + std::min(kLabelGap, anchor.width - labelWidth);
            anchor = {anchor.x + skip, anchor.y, anchor.width - skip, anchor.height};
        }
    }

    MenuPopup popup;
    popup.owner = NodeRef(open);
    const auto selection = popup.owner.selection();
    double width = anchor.width;
    for (Node* item : itemsOf(*open)) {
        MenuPopup::Row row;
        row.item = NodeRef(item->shared_from_this());
        row.separator = item->data->kind == ViewKind::Divider;
        row.enabled = row.item.isEnabled();
        if (row.separator) {
            row.frame.height = kSeparatorHeight;
        } else {
            const Font font = item->env ? item->env->effectiveFont() : Font();
            row.text = row.item.text();
            row.symbol = iconOf(row.item);
            row.chosen = picker && selection && item->data->attrs->tag == *selection;
            if (auto shortcut = item->data->attrs->shortcut;
                shortcut && shortcut->event.key == Key::Character)
                row.shortcut = shortcut->displayText();
            double content = metrics.textWidth(row.text, font) + 2 * kRowPadding;
            if (!row.symbol.empty()) content += kIconSide + kIconGap;
            if (!row.shortcut.empty()) content += kShortcutGap + metrics.textWidth(row.shortcut, font);
            if (picker) content += kCheckWidth;
            width = std::max(width, content);
            row.frame.height = metrics.lineHeight(font) + kRowExtra;
        }
        row.reached = static_cast<int>(popup.rows.size()) == graph.menuCursor;
        popup.rows.push_back(std::move(row));
    }
    if (popup.rows.empty()) return std::nullopt;

    double height = 2 * kPanelInset;
    for (const auto& row : popup.rows)
        height += row.frame.height;
    // Within the window (or the sheet) that shows the control: below it when there is room, else
    // above it, else as low as fits; moved left when it would run past the right edge.
    const Node* layer = layerRootOf(open.get());
    const Rect bounds = layer && layer != graph.root().get()
                            ? layer->frame
                            : Rect{0, 0, graph.contentSize().width, graph.contentSize().height};
    width = std::min(width, bounds.width);
    height = std::min(height, bounds.height);
    double y = anchor.maxY() + kGap;
    if (y + height > bounds.maxY()) {
        const double above = anchor.y - kGap - height;
        y = above >= bounds.y ? above : std::max(bounds.y, bounds.maxY() - height);
    }
    const double x = std::clamp(anchor.x, bounds.x, std::max(bounds.x, bounds.maxX() - width));
    popup.panel = {x, y, width, height};

    double cursor = y + kPanelInset;
    for (auto& row : popup.rows) {
        row.frame = {x, cursor, width, row.frame.height};
        cursor += row.frame.height;
    }
    return popup;
}

} // namespace plat::ui::detail
