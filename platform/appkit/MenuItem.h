// One entry of a menu: a title with an action, an enabled flag, a keyboard shortcut, an optional
// submenu, or a separator. An item may carry a validator that decides its enabled flag at each
// update pass, and the standard command group it belongs to. Main thread only.
#pragma once

#include "platform/appkit/CommandGroupPlacement.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {

class Menu;

class MenuItem {
public:
    using Action = std::function<void()>;

    static std::shared_ptr<MenuItem> make(std::string title, Action action = {},
                                          std::string keyEquivalent = {});
    static std::shared_ptr<MenuItem> separator();
    // An item whose choice opens `submenu`.
    static std::shared_ptr<MenuItem> withSubmenu(std::shared_ptr<Menu> submenu);

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    bool isSeparator() const { return separator_; }
    // The shortcut key with the command modifier, as written in the menu ("n", ","); empty for none.
    const std::string& keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(std::string key) { keyEquivalent_ = std::move(key); }

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    // Decides the enabled flag at every validation (see Menu::update()).
    void setValidator(std::function<bool()> validator) { validator_ = std::move(validator); }
    void validate();

    void setAction(Action action) { action_ = std::move(action); }
    bool hasAction() const { return static_cast<bool>(action_); }
    // Runs the action when the item is enabled and has one; returns whether it ran. Validates
    // first, so a stale enabled flag never lets a refused command through.
    bool perform();

    const std::shared_ptr<Menu>& submenu() const { return submenu_; }

    // The standard command group the item belongs to; none for items the application added.
    const std::optional<CommandGroupPlacement>& placement() const { return placement_; }
    void setPlacement(std::optional<CommandGroupPlacement> placement) { placement_ = placement; }

private:
    MenuItem() = default;
    std::string title_;
    std::string keyEquivalent_;
    bool separator_ = false;
    bool enabled_ = true;
    std::function<bool()> validator_;
    Action action_;
    std::shared_ptr<Menu> submenu_;
    std::optional<CommandGroupPlacement> placement_;
};

} // namespace plat
