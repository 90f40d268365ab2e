// Where the items of an open menu or picker show: a panel under the control (above it, or moved
// inward, when the window has no room below) with one row per item. Rows are in window points,
// like node frames; a divider among a menu's items is a thin row that takes no click.
#pragma once

#include "platform/ui/LayoutValues.h"
#include "platform/ui/NodeRef.h"

#include <string>
#include <vector>

namespace plat::ui {

struct MenuPopup {
    struct Row {
        NodeRef item; // the menu item or picker entry
        Rect frame;
        std::string text;
        std::string symbol;   // a label's icon, else empty
        std::string shortcut; // the item's keyboard shortcut as the menu shows it, else empty
        bool separator = false;
        bool enabled = true;
        bool chosen = false;  // the picker's current entry
        bool reached = false; // the entry the arrow keys moved to
    };

    NodeRef owner; // the open menu or picker
    Rect panel;
    std::vector<Row> rows;

    // The row under the point that takes a click, or null.
    const Row* rowAt(Point location) const {
        for (const Row& row : rows)
            if (!row.separator && row.frame.contains(location)) return &row;
        return nullptr;
    }
};

} // namespace plat::ui
