// A menu: a title and an ordered list of items. The menu bar is a menu whose items carry the
// application, File, Edit, View, Window and Help menus as submenus. Main thread only.
#pragma once

#include "platform/appkit/MenuItem.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {

class Menu {
public:
    explicit Menu(std::string title) : title_(std::move(title)) {}

    const std::string& title() const { return title_; }
    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
    size_t numberOfItems() const { return items_.size(); }

    void addItem(std::shared_ptr<MenuItem> item);
    // Inserts at `index` (clamped to the end).
    void insertItem(std::shared_ptr<MenuItem> item, size_t index);
    void removeItem(const std::shared_ptr<MenuItem>& item);
    void removeAllItems() { items_.clear(); }
    // Position of `item` in this menu; none when it is not here.
    std::optional<size_t> indexOfItem(const std::shared_ptr<MenuItem>& item) const;

    // The first item with that title; none when there is no such item.
    std::shared_ptr<MenuItem> itemWithTitle(const std::string& title) const;
    // The submenu of the item with that title (a menu bar's "File" menu, say); null when absent.
    std::shared_ptr<Menu> submenuWithTitle(const std::string& title) const;
    // Searches this menu and its submenus, depth first.
    std::shared_ptr<MenuItem> findItem(const std::string& title) const;
    // The enabled item whose shortcut is `key`, in this menu or below; null when there is none.
    std::shared_ptr<MenuItem> itemForKeyEquivalent(const std::string& key) const;

    // Runs every item's validator, submenus included.
    void update();

    // One line per item, submenus indented: "Check for Updates… (disabled)", "---" for separators,
    // shortcuts as " [cmd-n]".
    std::string describe() const;

private:
    void describe(std::string& out, int depth) const;
    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
};

} // namespace plat
