// A launched application for the screen tests: a private home, an updater whose feed answers are
// held until the test gives them, the application value with its scenes installed, and helpers to
// reach a window's view host and the menu bar. Nothing is opened through the desktop.
#pragma once

#include "app/VelmoraApp.h"
#include "core/TSRApp.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/Menu.h"
#include "platform/appkit/Window.h"
#include "platform/appkit/Workspace.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/scene/HostedWindowContent.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace apptest {

class LaunchedApp : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UserDefaults::resetForTesting();
        plat::Application::shared().resetForTesting();
        TSRApp::resetForTesting();
        previousLauncher_ =
            plat::Workspace::shared().setLauncherForTesting([this](const std::vector<std::string>& argv) {
                opened.push_back(argv.back());
                return true;
            });
        plat::SPUUpdater::Configuration c;
        c.feedURL = plat::URL::string("http://127.0.0.1:9/feed.json");
        c.defaults = defaults.get();
        c.fetcher = [this](const plat::URL&, plat::SPUUpdateFeed::Completion completion) {
            pendingFeed = std::move(completion);
        };
        c.showMessage = [this](const std::string& m) { updaterMessages.push_back(m); };
        updater = plat::SPUUpdater::make(std::move(c));
    }

    void TearDown() override {
        scenes.reset();
        velmora.reset();
        plat::Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
        TSRApp::resetForTesting();
        plat::Workspace::shared().setLauncherForTesting(previousLauncher_);
        plat::UserDefaults::resetForTesting();
        // A test that chose another interface language leaves the next one the default.
        plat::Localization::shared().resetForTesting();
    }

    // Makes the application value and launches it with its scenes, then runs the first pass.
    void launch() {
        velmora =
            std::make_unique<VelmoraApp>(std::make_shared<plat::SPUStandardUpdaterController>(updater, true));
        scenes = std::make_unique<plat::scene::SceneHost>(*velmora, plat::scene::SceneOptions{});
        plat::Application::shared().finishLaunching([this] { scenes->install(); });
        plat::Application::shared().updateWindows();
    }

    // One update pass of the application, as its loop runs after each main-queue block.
    void pass() { plat::Application::shared().updateWindows(); }
    // Runs the queued main-queue blocks, each followed by a pass.
    void settle() {
        while (plat::RunLoop::main().runOne())
            pass();
    }

    std::shared_ptr<plat::Window> window(size_t index = 0) const {
        const auto& windows = plat::Application::shared().windows();
        return index < windows.size() ? windows[index] : nullptr;
    }
    plat::ui::Host& host(const std::shared_ptr<plat::Window>& w) const {
        auto content = std::dynamic_pointer_cast<plat::scene::HostedWindowContent>(w->content());
        if (!content) throw std::runtime_error("the window shows no view tree");
        return content->host();
    }
    std::shared_ptr<plat::Menu> menu(const std::string& title) const {
        return plat::Application::shared().mainMenu()->submenuWithTitle(title);
    }

    testsupport::TempHome home;
    std::shared_ptr<plat::UserDefaults> defaults = plat::UserDefaults::inMemory();
    std::shared_ptr<plat::SPUUpdater> updater;
    plat::SPUUpdateFeed::Completion pendingFeed;
    std::vector<std::string> updaterMessages;
    std::vector<std::string> opened;
    std::unique_ptr<VelmoraApp> velmora;
    std::unique_ptr<plat::scene::SceneHost> scenes;

private:
    plat::Workspace::Launcher previousLauncher_;
};

} // namespace apptest
