#include "platform/scene/SceneHost.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/MainMenu.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/URL.h"
#include "platform/scene/HostedWindowContent.h"
#include "platform/ui/Toolkit.h"
#include "platform/ui/UpdateCoordinator.h"

#include <algorithm>

namespace plat::scene {

// What the application tells the user (About, the outcome of a check for updates), while its
// alert shows over the window group's window.
struct ApplicationMessage {
    std::string title;
    std::string text;
    bool operator==(const ApplicationMessage&) const = default;
};

class ApplicationMessages : public ObservableObject {
public:
    Published<std::optional<ApplicationMessage>> shown{this, std::nullopt};
};

namespace {

bool openWithWorkspace(const std::string& text) {
    auto url = URL::string(text);
    return url && Workspace::shared().open(*url);
}

void openWithWorkspaceTelling(const std::string& text, std::function<void(bool)> done) {
    auto url = URL::string(text);
    if (!url) {
        if (done) done(false);
        return;
    }
    Workspace::shared().open(*url, std::move(done));
}

// The window group's root with the application's message as an alert over it; its OK button
// clears the message.
class MessageAlert : public ui::Screen {
public:
    MessageAlert(ui::AnyView content, std::shared_ptr<ApplicationMessages> messages)
        : content(std::move(content)), messages(std::move(messages)) {}
    ui::AnyView body() const override {
        auto model = messages.get();
        Binding<std::optional<ApplicationMessage>> shown(
            [model] { return model->shown.get(); }, [model](const auto& value) { model->shown = value; });
        return content.alert(shown, [](const ApplicationMessage& message) {
            return ui::Alert{ui::TextValue::verbatim(message.title),
                             ui::TextValue::verbatim(message.text),
                             {ui::AlertButton::normal("OK")}};
        });
    }

    ui::AnyView content;
    ui::ObservedObject<ApplicationMessages> messages;
};

} // namespace

SceneHost::SceneHost(const App& app, SceneOptions options)
    : app_(app), options_(std::move(options)), messages_(std::make_shared<ApplicationMessages>()) {
    willUpdateBridge_ =
        ui::UpdateCoordinator::shared().willUpdate().sink([] { Application::shared().announceUpdatePass(); });
}

SceneHost::~SceneHost() {
    if (!installed_) return;
    // The menu's and the Settings item's actions point back here.
    auto& app = Application::shared();
    app.setSettingsHandler(nullptr);
    app.setMessageHandler(nullptr);
    app.setMainMenu(nullptr);
}

const Scene* SceneHost::firstScene(Scene::Kind kind) const {
    auto it = std::find_if(scenes_.begin(), scenes_.end(), [kind](const Scene& s) { return s.kind == kind; });
    return it == scenes_.end() ? nullptr : &*it;
}

void SceneHost::install() {
    if (installed_) return;
    installed_ = true;
    scenes_ = app_.body();
    openWindow();
    if (firstScene(Scene::Kind::settings))
        Application::shared().setSettingsHandler([this] { showSettings(); });
    Application::shared().setMessageHandler(
        [messages = messages_](const std::string& title, const std::string& text) {
            messages->shown = ApplicationMessage{title, text};
        });
    rebuildCommands();
}

void SceneHost::rebuildCommands() {
    std::vector<std::shared_ptr<CommandMenuHost>> hosts;
    std::vector<CommandGroup> groups;
    for (const auto& scene : scenes_) {
        for (const auto& group : scene.commandGroups) {
            std::vector<std::shared_ptr<MenuItem>> items;
            if (group.content) {
                auto host = CommandMenuHost::make(group.content());
                items = host->items();
                hosts.push_back(std::move(host));
            }
            groups.push_back(CommandGroup{group.position, group.placement, std::move(items)});
        }
    }
    MainMenu::Actions actions;
    if (firstScene(Scene::Kind::windowGroup)) actions.newWindow = [this] { openWindow(); };
    auto menu = MainMenu::make(options_.appName, groups, actions);
    Application::shared().setMainMenu(menu);
    menuBar_->setMenu(std::move(menu));
    // The old hosts go only now, after the menu that used them.
    commandHosts_ = std::move(hosts);
}

std::shared_ptr<Window> SceneHost::openWindow() {
    const Scene* scene = firstScene(Scene::Kind::windowGroup);
    if (!scene) return nullptr;
    return openWindow(*scene, options_.windowContentRect, WindowStyle{}, options_.appName);
}

std::shared_ptr<Window> SceneHost::showSettings() {
    if (auto window = settingsWindow()) {
        window->makeKeyAndOrderFront();
        return window;
    }
    const Scene* scene = firstScene(Scene::Kind::settings);
    if (!scene) return nullptr;
    auto window =
        openWindow(*scene, options_.settingsContentRect, WindowStyle{}, options_.appName + " Settings");
    window->setIdentifier("settings");
    // Escape and Ctrl+W close the settings window, as they close a panel.
    if (auto content = std::dynamic_pointer_cast<HostedWindowContent>(window->content()))
        content->setClosesOnEscape(true);
    settings_ = window;
    return window;
}

std::shared_ptr<Window> SceneHost::settingsWindow() const {
    auto window = settings_.lock();
    if (!window) return nullptr;
    // A closed window has left the application's list; it is not reused.
    const auto& windows = Application::shared().windows();
    return std::find(windows.begin(), windows.end(), window) != windows.end() ? window : nullptr;
}

std::shared_ptr<Window> SceneHost::openWindow(const Scene& scene, ScreenRect contentRect, WindowStyle style,
                                              std::string title) {
    auto window = Window::make(contentRect, style);
    window->setTitle(std::move(title));
    ui::AnyView root = scene.content ? scene.content() : ui::AnyView();
    if (scene.kind == Scene::Kind::windowGroup) root = ui::make<MessageAlert>(std::move(root), messages_);
    root = root.environment([](ui::EnvironmentValues& env) {
        env.openURL.handler = openWithWorkspace;
        env.openURL.outcomeHandler = openWithWorkspaceTelling;
        env.localize = LocalizedString;
    });
    // The window group's windows show the application's menu bar; the settings window does not.
    HostedWindowContent::install(window, std::move(root), options_.printWindows, options_.presenter,
                                 scene.kind == Scene::Kind::windowGroup ? menuBar_ : nullptr);
    window->makeKeyAndOrderFront();
    return window;
}

int SceneHost::run(const App& app, SceneOptions options) {
    SceneHost host(app, std::move(options));
    auto& application = Application::shared();
    application.finishLaunching([&host] { host.install(); });
    if (auto presenter = host.options_.presenter)
        presenter->run(application);
    else
        application.run();
    return 0;
}

} // namespace plat::scene
