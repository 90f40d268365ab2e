#include "app/VelmoraApp.h"

#include "app/ContentView.h"
#include "app/views/CheckForUpdatesView.h"
#include "app/views/UpdaterSettingsView.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/log/OSLog.h"

using namespace plat::ui;
using plat::scene::Scene;
using plat::scene::SceneCommandGroup;
using Placement = plat::CommandGroupPlacement;

namespace {

// Runs before every update pass: the windows can never be zoomed.
void disableZoomButtons(const plat::Notification&) {
    const auto windows = plat::Application::shared().windows();
    for (const auto& window : windows) {
        if (auto* zoom = window->standardWindowButton(plat::WindowButtonType::zoomButton))
            zoom->setEnabled(false);
    }
}

// Sizes the first window one main-queue turn after the root content appears.
void sizeFirstWindow() {
    plat::mainQueue().async([] {
        const auto windows = plat::Application::shared().windows();
        if (windows.empty()) return;
        windows.front()->setContentSize(plat::Size{800, 500});
    });
}

} // namespace

VelmoraApp::VelmoraApp()
    : VelmoraApp(std::make_shared<plat::SPUStandardUpdaterController>(true, nullptr, nullptr)) {}

VelmoraApp::VelmoraApp(std::shared_ptr<plat::SPUStandardUpdaterController> updaterController)
    : updaterController(std::move(updaterController)) {
    // The outcome of a check the user asked for shows in a window; the terminal keeps its line.
    // An updater made with a way of its own keeps it.
    if (const auto& updater = this->updaterController->updater(); updater && !updater->messagePresenter()) {
        updater->setMessagePresenter([](const std::string& message) {
            plat::consoleLine(message);
            plat::Application::shared().showMessage("Software Update", message);
        });
    }
}

std::vector<Scene> VelmoraApp::body() const {
    auto controller = updaterController;
    return {
        Scene::WindowGroup([] {
            return make<ContentView>()
                .onReceive(plat::NotificationCenter::defaultCenter(),
                           plat::NSApplicationWillUpdateNotification, disableZoomButtons)
                .onAppear(sizeFirstWindow);
        })
            .commands({
                SceneCommandGroup::replacing(Placement::newItem, [] { return AnyView(); }),
                // A new item view, with a new model, each time the commands are built.
                SceneCommandGroup::after(
                    Placement::appInfo,
                    [controller] { return make<CheckForUpdatesView>(controller->updater()); }),
            }),
        Scene::Settings([controller] { return make<UpdaterSettingsView>(controller->updater()); }),
    };
}

int VelmoraApp::main(std::shared_ptr<plat::scene::WindowPresenter> presenter) {
    VelmoraApp app;
    plat::scene::SceneOptions options;
    options.printWindows = !presenter;
    options.presenter = std::move(presenter);
    return plat::scene::SceneHost::run(app, options);
}
