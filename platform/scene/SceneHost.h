// Brings a declarative application's scenes to the screen: at launch it opens the first window of
// the first window group, installs the menu bar with the scenes' command groups (drawn across the
// top of the window group's windows) and makes the Settings item open the settings scene in its
// own window (one at a time). Every update pass of the view toolkit is announced as the
// application's "will update". Views see the workspace as their URL-opening action and the
// bundle's string tables as their localiser. What the application tells the user (About, a check
// for updates) shows as an alert over the window group's window. With a presenter in the options
// every window is also shown on the desktop and the application runs the presenter's event loop.
// Main thread only.
#pragma once

#include "platform/appkit/Window.h"
#include "platform/foundation/Cancellable.h"
#include "platform/geometry/ScreenRect.h"
#include "platform/scene/CommandMenuHost.h"
#include "platform/scene/MenuBar.h"
#include "platform/scene/Scene.h"
#include "platform/scene/WindowPresenter.h"

#include <memory>
#include <string>
#include <vector>

namespace plat::scene {

struct SceneOptions {
    std::string appName = "Velmora";
    // Where and how large a new window's content area is before its content sizes it.
    ScreenRect windowContentRect{{200, 300}, {640, 400}};
    ScreenRect settingsContentRect{{260, 420}, {480, 160}};
    // Print each changed picture of a window to the console (the headless application).
    bool printWindows = false;
    // Shows the windows on the desktop and runs the event loop; none: headless.
    std::shared_ptr<WindowPresenter> presenter;
};

class ApplicationMessages;

class SceneHost {
public:
    // `app` must outlive the host; its body is evaluated once, by install().
    SceneHost(const App& app, SceneOptions options);
    ~SceneHost();
    SceneHost(const SceneHost&) = delete;
    SceneHost& operator=(const SceneHost&) = delete;

    // Evaluates the application's body, opens the first window group's window and installs the menu
    // bar and the Settings action. Meant to run inside Application::finishLaunching, so the body is
    // evaluated after the delegate's will-finish-launching call. Later calls do nothing.
    void install();
    // Builds the command groups' content afresh and installs a new menu bar made with it.
    void rebuildCommands();

    // A new window of the first window group, shown in front; null without a window group.
    std::shared_ptr<Window> openWindow();
    // Brings the settings window to the front, opening it when it is not open; null without a
    // settings scene.
    std::shared_ptr<Window> showSettings();
    std::shared_ptr<Window> settingsWindow() const;
    const std::vector<Scene>& scenes() const { return scenes_; }

    // Runs the application: launch with install(), then Application::run() (or the presenter's
    // loop) until termination. Returns 0.
    static int run(const App& app, SceneOptions options);

private:
    const Scene* firstScene(Scene::Kind kind) const;
    std::shared_ptr<Window> openWindow(const Scene& scene, ScreenRect contentRect, WindowStyle style,
                                       std::string title);

    const App& app_;
    std::vector<Scene> scenes_;
    bool installed_ = false;
    SceneOptions options_;
    std::vector<std::shared_ptr<CommandMenuHost>> commandHosts_;
    // The menu bar every window of the window group draws.
    std::shared_ptr<MenuBarModel> menuBar_ = std::make_shared<MenuBarModel>();
    std::weak_ptr<Window> settings_;
    // What Application::showMessage() shows, as an alert over the window group's windows.
    std::shared_ptr<ApplicationMessages> messages_;
    AnyCancellable willUpdateBridge_;
};

} // namespace plat::scene
