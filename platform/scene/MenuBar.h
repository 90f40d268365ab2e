// The application's main menu drawn as a bar across the top of a window: one menu per menu of the
// bar (the application menu, File, Edit, Window, Help), each item a button with the item's title,
// shortcut and enabled state, a separator a divider. Menu and item titles are keys of the
// application's strings tables, shown in the interface language. Choosing an item, or pressing its shortcut
// anywhere in the window (also while a sheet covers it), performs the item.
//
// MenuBarModel follows the menu the scene layer installs and re-reads the items' enabled states
// when asked, so a bar shows what the menu's validators say. Main thread only.
#pragma once

#include "platform/appkit/Menu.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"

#include <memory>
#include <string>
#include <vector>

namespace plat::scene {

class MenuBarModel : public ObservableObject {
public:
    // The strip the bar takes at the top of a window, in points.
    static constexpr double kHeight = 24;

    struct Entry {
        std::string title;
        std::string key; // the item's key equivalent ("q", "Z"); empty for none
        bool enabled = true;
        bool separator = false;
        std::weak_ptr<MenuItem> item;
        const MenuItem* identity = nullptr; // tells two entries of the same title apart
        bool operator==(const Entry& o) const {
            return title == o.title && key == o.key && enabled == o.enabled && separator == o.separator &&
                   identity == o.identity;
        }
    };
    struct Column {
        std::string title;
        std::vector<Entry> entries;
        bool operator==(const Column&) const = default;
    };

    // Shows `menu` (a menu bar whose items carry submenus); null shows an empty bar.
    void setMenu(std::shared_ptr<Menu> menu);
    // Validates the items again and publishes the bar when anything it shows changed.
    void refresh();

    Published<std::vector<Column>> columns{this, {}};

private:
    std::vector<Column> snapshot() const;
    std::shared_ptr<Menu> menu_;
};

// The bar for `model`, kHeight high, filling the width it is offered.
ui::AnyView MenuBar(std::shared_ptr<MenuBarModel> model);

// Left and Right (no modifiers) while one of the bar's menus in `host` is open: the menu before or
// after it opens in its place, round the ends, on its first entry when the keys had reached an
// entry of the one before. Returns whether it took the key; any other key or menu is left alone.
bool moveBetweenMenus(ui::Host& host, const ui::KeyEvent& event);

} // namespace plat::scene
