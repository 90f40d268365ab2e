// The crash reporter's in-background key on a real desktop: an application window under a window
// manager gains and loses the keyboard through real clicks, the application posts its activity
// notifications from that, and the key in this run's crash metadata follows.
#if defined(VELMORA_DESKTOP_TESTS)

#include "crash/capture/CRWUserLogging.h"
#include "crash/manager/CRWNotificationManager.h"
#include "crash/record/CRWContext.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/scene/DesktopWindow.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/ui/Host.h"
#include "platform/ui/Toolkit.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/render/WindowManager.h"
#include "tests/render/XServer.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using plat::Application;
using plat::render::WindowSystem;

constexpr const char* kInBackground = "com.crashwatch.in-background";

std::string inBackground() {
    auto entries =
        CRWUserLoggingGetCompactedKVEntries(&_crwContext.readonly->logging.internalKVStorage, true);
    if (!entries || !entries->count(kInBackground)) return "<absent>";
    return entries->at(kInBackground).string();
}

class DesktopFocus : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_WINDOW_MANAGER();
        Application::shared().resetForTesting();
        for (const char* name :
             {plat::NSApplicationWillBecomeActiveNotification, plat::NSApplicationDidBecomeActiveNotification,
              plat::NSApplicationDidResignActiveNotification}) {
            tokens_.push_back(plat::NotificationCenter::defaultCenter().addObserver(
                name, {}, [this](const plat::Notification& n) { posted_.push_back(n.name); }));
        }
    }
    void TearDown() override {
        tokens_.clear();
        Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
    }
    // Turns the event loop until the application's activity is `active`; the notifications posted
    // on the way, taken.
    std::vector<std::string> untilActive(bool active) {
        WindowSystem::shared().runUntil([&] { return Application::shared().isActive() == active; },
                                        testsupport::kPatience);
        // The turns that deliver what was posted with the change.
        WindowSystem::shared().runUntil([] { return false; }, 50ms);
        return std::exchange(posted_, {});
    }

    std::vector<std::string> posted_;
    std::vector<plat::NotificationCenter::Token> tokens_;
};

TEST_F(DesktopFocus, TheInBackgroundKeyFollowsTheKeyboardFocusOfTheApplicationWindow) {
    capturetest::CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWNotificationManager manager;
    manager.registerNotificationListener();
    context.drainLoggingQueue();
    EXPECT_EQ(inBackground(), "0");

    // Another program's window, then the application's own, apart on the screen.
    rendertest::OtherClientWindow other(820, 620, 240, 180);
    ASSERT_TRUE(other.waitUntilViewable());
    int otherX = 0, otherY = 0;
    ASSERT_TRUE(other.centre(&otherX, &otherY));
    auto window = plat::Window::make(plat::ScreenRect{{0, 0}, {320, 240}});
    plat::ui::HostOptions options;
    options.contentSize = {320, 240};
    options.metrics = std::make_shared<plat::render::FontMetrics>();
    auto host = std::make_shared<plat::ui::Host>(plat::ui::Text("Velmora"), options);
    plat::render::DesktopWindow desktop(window, host, "AppIcon");
    desktop.hostWindow().surface().setPosition({60, 60});
    window->makeKeyAndOrderFront();
    desktop.update();
    ASSERT_TRUE(WindowSystem::shared().runUntil([&] { return desktop.hostWindow().surface().isVisible(); },
                                                testsupport::kPatience));
    const plat::Point at = desktop.hostWindow().surface().position();
    const int ownX = static_cast<int>(at.x) + 160, ownY = static_cast<int>(at.y) + 120;

    rendertest::XTestInput input;
    ASSERT_TRUE(input.available());
    const std::vector<std::string> becomesActive{plat::NSApplicationWillBecomeActiveNotification,
                                                 plat::NSApplicationDidBecomeActiveNotification};
    const std::vector<std::string> resigns{plat::NSApplicationDidResignActiveNotification};
    // A click on the application's window gives it the keyboard ("will" comes just before "did").
    input.click(ownX, ownY);
    EXPECT_EQ(untilActive(true), becomesActive);
    context.drainLoggingQueue();
    EXPECT_EQ(inBackground(), "0");

    // A click on the other program's window takes it away: the application is in the background.
    input.click(otherX, otherY);
    EXPECT_EQ(untilActive(false), resigns);
    context.drainLoggingQueue();
    EXPECT_EQ(inBackground(), "1");

    // And back, more than once: the key does not stick.
    for (int round = 0; round < 2; ++round) {
        input.click(ownX, ownY);
        EXPECT_EQ(untilActive(true), becomesActive) << round;
        context.drainLoggingQueue();
        EXPECT_EQ(inBackground(), "0") << round;
        input.click(otherX, otherY);
        EXPECT_EQ(untilActive(false), resigns) << round;
        context.drainLoggingQueue();
        EXPECT_EQ(inBackground(), "1") << round;
    }
    window->close();
}

} // namespace

#endif
