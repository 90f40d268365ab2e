// Set-up shared by the screen tests: a private data root with fresh settings caches, a fresh
// application with one visible main window (so window sizing can be watched), a root session model,
// a record of the links handed to the environment and the workspace, and a headless host over the
// screen under test.
#pragma once

#include "app/ContentViewModel.h"
#include "app/controllers/VelmoraController.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/appkit/Workspace.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"
#include "platform/vpn/NEVPNManager.h"
#include "tests/app/regions/ControllerTestSupport.h"
#include "tests/app/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace screentest {

using plat::ui::Query;

class ScreenTest : public ::testing::Test {
protected:
    ScreenTest() {
        plat::Application::shared().resetForTesting();
        window_ = plat::Window::make({{100, 200}, {640, 400}});
        window_->makeKeyAndOrderFront();
        previousLauncher_ = plat::Workspace::shared().setLauncherForTesting(
            [links = links_](const std::vector<std::string>& argv) {
                links->push_back(argv.back());
                return true;
            });
    }
    ~ScreenTest() override {
        host_.reset();
        plat::RunLoop::main().drain();
        plat::Workspace::shared().setLauncherForTesting(previousLauncher_);
        plat::Application::shared().resetForTesting();
        plat::ProcessInfo::processInfo().setOSReleasePathForTesting(std::nullopt);
    }

    // Hosts `screen` below the root model, with an URL-opening action that records what it gets.
    void show(plat::ui::AnyView screen, plat::ui::HostOptions options = {}) {
        auto opened = opened_;
        host_ = std::make_shared<plat::ui::Host>(
            screen.environmentObject(vm_).environment([opened](plat::ui::EnvironmentValues& env) {
                env.openURL.handler = [opened](const std::string& url) {
                    opened->push_back(url);
                    return true;
                };
            }),
            std::move(options));
        host_->update();
    }
    // The system the screens see from now on is the one this os-release text describes.
    void runOnSystem(const std::string& osRelease) {
        const auto path = env_.home().path() / "os-release";
        testsupport::writeFile(path, osRelease);
        plat::ProcessInfo::processInfo().setOSReleasePathForTesting(path);
    }
    // Runs what the screens queued on the main queue, and the update passes that follow.
    static void settle() { plat::RunLoop::main().drain(); }

    plat::ui::Host& host() { return *host_; }
    const std::shared_ptr<plat::ui::Host>& sharedHost() const { return host_; }
    bool has(const Query& q) const { return static_cast<bool>(host_->find(q)); }
    plat::ui::NodeRef node(const Query& q) const { return host_->require(q); }
    const std::shared_ptr<plat::Window>& window() const { return window_; }
    // The alert shown last, or none.
    plat::ui::NodeRef topAlert() const {
        auto alerts = host_->alerts();
        return alerts.empty() ? plat::ui::NodeRef() : alerts.back();
    }

    servicetest::ServiceEnvironment env_;
    std::shared_ptr<ContentViewModel> vm_ = std::make_shared<ContentViewModel>();
    // Links the environment's URL-opening action got, and those the workspace was asked to open.
    std::shared_ptr<std::vector<std::string>> opened_ = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::vector<std::string>> links_ = std::make_shared<std::vector<std::string>>();

private:
    std::shared_ptr<plat::Window> window_;
    std::shared_ptr<plat::ui::Host> host_;
    plat::Workspace::Launcher previousLauncher_;
};

} // namespace screentest

namespace screentest {

// Shows or removes its content on demand, so a test can take a screen out of the tree.
class Presence : public plat::ObservableObject {
public:
    plat::Published<bool> shown{this, true};
};

class Removable : public plat::ui::Screen {
public:
    Removable(std::shared_ptr<Presence> presence, plat::ui::AnyView content)
        : presence(std::move(presence)), content(std::move(content)) {}
    plat::ui::AnyView body() const override { return plat::ui::If(presence->shown.get(), content); }

    plat::ui::ObservedObject<Presence> presence;
    plat::ui::AnyView content;
};

// The place of a screen of the named type ("MapView").
inline Query screen(const std::string& typeName) {
    return Query::where("screen " + typeName,
                        [typeName](const plat::ui::NodeRef& n) { return n.typeName() == typeName; });
}

// Pumps the main queue until `done` holds (replies from the stand-in arrive there).
inline bool waitFor(const std::function<bool()>& done) {
    return plat::RunLoop::main().runUntil(done, std::chrono::seconds(5));
}

} // namespace screentest

namespace screentest {

// A screen test with a session controller over canned replies and a recording tunnel helper.
class ControllerScreenTest : public ScreenTest {
protected:
    ControllerScreenTest() {
        controller_ = VelmoraController::create(client_, *helper_);
        manager_.queue().sync([] {});
    }
    ~ControllerScreenTest() override {
        controller_.reset();
        plat::RunLoop::main().drain();
    }

    servicetest::ConsoleCapture console_;
    plat::ManualScheduler scheduler_;
    plat::NEVPNManager manager_{scheduler_};
    regiontest::CannedClient client_;
    std::shared_ptr<regiontest::RecordingHelper> helper_ =
        std::make_shared<regiontest::RecordingHelper>(manager_, client_);
    std::shared_ptr<VelmoraController> controller_;
};

} // namespace screentest
