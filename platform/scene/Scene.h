// The scenes of a declarative application: a window group (its content shown in the application's
// windows, first opened at launch) or the settings scene (shown in its own window from the
// application menu's Settings item), each with the command groups it adds to the menu bar.
#pragma once

#include "platform/appkit/MainMenu.h"
#include "platform/ui/AnyView.h"

#include <functional>
#include <vector>

namespace plat::scene {

// Views placed in the menu bar at a standard group: each button of the content becomes a menu item
// with the button's title, enabled state and shortcut. `content` is called each time the
// application's commands are built.
struct SceneCommandGroup {
    CommandGroup::Position position;
    CommandGroupPlacement placement;
    std::function<ui::AnyView()> content;

    static SceneCommandGroup replacing(CommandGroupPlacement p, std::function<ui::AnyView()> content = {}) {
        return {CommandGroup::Position::replacing, p, std::move(content)};
    }
    static SceneCommandGroup after(CommandGroupPlacement p, std::function<ui::AnyView()> content) {
        return {CommandGroup::Position::after, p, std::move(content)};
    }
    static SceneCommandGroup before(CommandGroupPlacement p, std::function<ui::AnyView()> content) {
        return {CommandGroup::Position::before, p, std::move(content)};
    }
};

struct Scene {
    enum class Kind { windowGroup, settings };
    Kind kind = Kind::windowGroup;
    // The root view of each window of the scene; called once per window.
    std::function<ui::AnyView()> content;
    std::vector<SceneCommandGroup> commandGroups;

    static Scene WindowGroup(std::function<ui::AnyView()> content) {
        return Scene{Kind::windowGroup, std::move(content), {}};
    }
    static Scene Settings(std::function<ui::AnyView()> content) {
        return Scene{Kind::settings, std::move(content), {}};
    }
    // This scene with `groups` added to the menu bar, in order.
    Scene commands(std::vector<SceneCommandGroup> groups) const {
        Scene copy = *this;
        copy.commandGroups.insert(copy.commandGroups.end(), groups.begin(), groups.end());
        return copy;
    }
};

// A declarative application: a value whose body lists its scenes.
class App {
public:
    virtual ~App() = default;
    virtual std::vector<Scene> body() const = 0;
};

} // namespace plat::scene
