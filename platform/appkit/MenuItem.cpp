#include "platform/appkit/MenuItem.h"

#include "platform/appkit/Menu.h"

namespace plat {

std::shared_ptr<MenuItem> MenuItem::make(std::string title, Action action, std::string keyEquivalent) {
    std::shared_ptr<MenuItem> item(new MenuItem());
    item->title_ = std::move(title);
    item->action_ = std::move(action);
    item->keyEquivalent_ = std::move(keyEquivalent);
    return item;
}

std::shared_ptr<MenuItem> MenuItem::separator() {
    std::shared_ptr<MenuItem> item(new MenuItem());
    item->separator_ = true;
    item->enabled_ = false;
    return item;
}

std::shared_ptr<MenuItem> MenuItem::withSubmenu(std::shared_ptr<Menu> submenu) {
    std::shared_ptr<MenuItem> item(new MenuItem());
    item->title_ = submenu ? submenu->title() : std::string();
    item->submenu_ = std::move(submenu);
    return item;
}

void MenuItem::validate() {
    if (validator_) enabled_ = validator_();
    if (submenu_) submenu_->update();
}

bool MenuItem::perform() {
    validate();
    if (separator_ || !enabled_ || !action_) return false;
    // A copy: the action may replace this item's action, or the whole menu.
    Action action = action_;
    action();
    return true;
}

} // namespace plat
