// The application: it owns the delegate and the updater controller (whose updater starts while the
// application value is made), and declares the scenes: the window group showing ContentView, with
// the menu commands (no New item; "Check for Updates…" after About), and the settings scene with the
// update settings. In every update pass the windows' zoom buttons are disabled; the first window's
// content is sized to 800 by 500 one main-queue turn after the root content appears. The outcome
// of a check for updates shows in an alert over the main window as well as on the terminal.
#pragma once

#include "app/AppDelegate.h"
#include "platform/scene/ApplicationDelegateAdaptor.h"
#include "platform/scene/Scene.h"
#include "platform/scene/SceneHost.h"
#include "platform/updater/SPUStandardUpdaterController.h"

#include <memory>
#include <vector>

class VelmoraApp : public plat::scene::App {
public:
    // The delegate adaptor first, then the controller, which starts the updater.
    VelmoraApp();
    // The same over a controller made elsewhere (tests give it an updater of their own).
    explicit VelmoraApp(std::shared_ptr<plat::SPUStandardUpdaterController> updaterController);

    std::vector<plat::scene::Scene> body() const override;

    // Runs the application until it terminates; 0 when the loop returns. With a presenter the
    // windows are shown on the desktop and the presenter's loop runs; without one the application
    // is headless and its windows print what they show on the console.
    static int main(std::shared_ptr<plat::scene::WindowPresenter> presenter = nullptr);

    plat::scene::ApplicationDelegateAdaptor<AppDelegate> appDelegate;
    const std::shared_ptr<plat::SPUStandardUpdaterController> updaterController;
};
