#include "platform/appkit/Menu.h"

#include <algorithm>

namespace plat {

void Menu::addItem(std::shared_ptr<MenuItem> item) {
    if (item) items_.push_back(std::move(item));
}

void Menu::insertItem(std::shared_ptr<MenuItem> item, size_t index) {
    if (!item) return;
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())),
                  std::move(item));
}

void Menu::removeItem(const std::shared_ptr<MenuItem>& item) {
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
}

std::optional<size_t> Menu::indexOfItem(const std::shared_ptr<MenuItem>& item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return std::nullopt;
    return static_cast<size_t>(it - items_.begin());
}

std::shared_ptr<MenuItem> Menu::itemWithTitle(const std::string& title) const {
    for (const auto& item : items_) {
        if (!item->isSeparator() && item->title() == title) return item;
    }
    return nullptr;
}

std::shared_ptr<Menu> Menu::submenuWithTitle(const std::string& title) const {
    auto item = itemWithTitle(title);
    return item ? item->submenu() : nullptr;
}

std::shared_ptr<MenuItem> Menu::findItem(const std::string& title) const {
    for (const auto& item : items_) {
        if (!item->isSeparator() && item->title() == title) return item;
        if (item->submenu()) {
            if (auto found = item->submenu()->findItem(title)) return found;
        }
    }
    return nullptr;
}

std::shared_ptr<MenuItem> Menu::itemForKeyEquivalent(const std::string& key) const {
    if (key.empty()) return nullptr;
    for (const auto& item : items_) {
        if (item->submenu()) {
            if (auto found = item->submenu()->itemForKeyEquivalent(key)) return found;
            continue;
        }
        if (item->keyEquivalent() != key) continue;
        item->validate();
        if (item->isEnabled()) return item;
    }
    return nullptr;
}

void Menu::update() {
    // A copy: a validator may change the menu.
    const auto items = items_;
    for (const auto& item : items)
        item->validate();
}

std::string Menu::describe() const {
    std::string out;
    describe(out, 0);
    return out;
}

void Menu::describe(std::string& out, int depth) const {
    for (const auto& item : items_) {
        out.append(static_cast<size_t>(depth) * 2, ' ');
        if (item->isSeparator()) {
            out += "---\n";
            continue;
        }
        out += item->title();
        if (!item->keyEquivalent().empty()) out += " [cmd-" + item->keyEquivalent() + "]";
        if (!item->isEnabled() && !item->submenu()) out += " (disabled)";
        out += "\n";
        if (item->submenu()) item->submenu()->describe(out, depth + 1);
    }
}

} // namespace plat
