// The menu bar every application starts from (application, File, Edit, Window and Help menus, each
// made of standard command groups), with the application's own command groups put before, after
// or in place of standard ones.
#pragma once

#include "platform/appkit/CommandGroupPlacement.h"
#include "platform/appkit/Menu.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat {

// Items the application adds at one standard group.
struct CommandGroup {
    enum class Position { before, after, replacing };
    Position position;
    CommandGroupPlacement placement;
    std::vector<std::shared_ptr<MenuItem>> items;

    static CommandGroup before(CommandGroupPlacement p, std::vector<std::shared_ptr<MenuItem>> items) {
        return {Position::before, p, std::move(items)};
    }
    static CommandGroup after(CommandGroupPlacement p, std::vector<std::shared_ptr<MenuItem>> items) {
        return {Position::after, p, std::move(items)};
    }
    static CommandGroup replacing(CommandGroupPlacement p, std::vector<std::shared_ptr<MenuItem>> items) {
        return {Position::replacing, p, std::move(items)};
    }
};

class MainMenu {
public:
    // Scene actions the standard items call; an item whose action is missing is disabled.
    struct Actions {
        std::function<void()> newWindow;
    };

    // A new menu bar for the application named `appName`. Groups apply in order; several groups at
    // one placement keep their order. Separators never double up or end a menu.
    static std::shared_ptr<Menu> make(const std::string& appName, const std::vector<CommandGroup>& groups,
                                      const Actions& actions = {});
};

} // namespace plat
