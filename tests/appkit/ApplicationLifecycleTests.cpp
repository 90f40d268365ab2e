// Application lifecycle: launch, activation, update passes and termination, as the delegate and
// the default notification centre see them.
#include "platform/appkit/Application.h"
#include "platform/appkit/ApplicationDelegate.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/runtime/Runtime.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using plat::Application;
using plat::Notification;
using plat::NotificationCenter;

// Records delegate calls and centre deliveries into one shared log.
struct Log {
    std::vector<std::string> lines;
};

class RecordingDelegate : public plat::ApplicationDelegate {
public:
    explicit RecordingDelegate(Log& log) : log_(log) {}
    void applicationWillFinishLaunching(const Notification&) override {
        log_.lines.push_back("delegate willFinish");
    }
    void applicationDidFinishLaunching(const Notification&) override {
        log_.lines.push_back("delegate didFinish");
    }
    void applicationWillBecomeActive(const Notification&) override { log_.lines.push_back("delegate will"); }
    void applicationDidBecomeActive(const Notification&) override { log_.lines.push_back("delegate active"); }
    void applicationDidResignActive(const Notification&) override { log_.lines.push_back("delegate resign"); }
    void applicationWillTerminate(const Notification&) override {
        log_.lines.push_back("delegate terminate");
    }

private:
    Log& log_;
};

class CountingContent : public plat::WindowContent {
public:
    explicit CountingContent(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
    void windowDidResize(plat::Size) override {}
    void update() override { log_.lines.push_back("update " + name_); }
    std::string describe() const override { return name_; }

private:
    Log& log_;
    std::string name_;
};

class ApplicationLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application::shared().resetForTesting();
        Application::shared().setDelegate(std::make_shared<RecordingDelegate>(log));
        for (const char* name :
             {plat::NSApplicationWillFinishLaunchingNotification,
              plat::NSApplicationDidFinishLaunchingNotification,
              plat::NSApplicationWillBecomeActiveNotification, plat::NSApplicationDidBecomeActiveNotification,
              plat::NSApplicationDidResignActiveNotification, plat::NSApplicationWillUpdateNotification,
              plat::NSApplicationWillTerminateNotification}) {
            tokens.push_back(NotificationCenter::defaultCenter().addObserver(
                name, {}, [this](const Notification& n) { log.lines.push_back(n.name); }));
        }
    }
    void TearDown() override {
        tokens.clear();
        Application::shared().resetForTesting();
        plat::RunLoop::main().drain();
    }
    Log log;
    std::vector<NotificationCenter::Token> tokens;
};

TEST_F(ApplicationLifecycleTest, LaunchTellsTheDelegateFirstAndInstallsContentBetweenTheTwoSteps) {
    auto& app = Application::shared();
    app.finishLaunching([&] { log.lines.push_back("install"); });
    app.finishLaunching([&] { log.lines.push_back("install again"); });
    EXPECT_TRUE(app.isLaunched());
    const std::vector<std::string> expected{
        "delegate willFinish", "NSApplicationWillFinishLaunchingNotification", "install",
        "delegate didFinish", "NSApplicationDidFinishLaunchingNotification"};
    EXPECT_EQ(log.lines, expected);
}

TEST_F(ApplicationLifecycleTest, ActivationPostsOnlyOnRealChanges) {
    auto& app = Application::shared();
    app.activate();
    app.activate();
    app.deactivate();
    app.deactivate();
    app.activate();
    // "Will become active" goes out just before "did become active", each time.
    const std::vector<std::string> expected{"delegate will",   "NSApplicationWillBecomeActiveNotification",
                                            "delegate active", "NSApplicationDidBecomeActiveNotification",
                                            "delegate resign", "NSApplicationDidResignActiveNotification",
                                            "delegate will",   "NSApplicationWillBecomeActiveNotification",
                                            "delegate active", "NSApplicationDidBecomeActiveNotification"};
    EXPECT_EQ(log.lines, expected);
}

TEST_F(ApplicationLifecycleTest, KeyboardFocusAcrossTheWindowsDrivesActivation) {
    auto& app = Application::shared();
    auto a = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    auto b = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    const std::vector<std::string> active{"delegate will", "NSApplicationWillBecomeActiveNotification",
                                          "delegate active", "NSApplicationDidBecomeActiveNotification"};
    const std::vector<std::string> resign{"delegate resign", "NSApplicationDidResignActiveNotification"};

    app.windowKeyboardFocusChanged(*a, true);
    EXPECT_TRUE(app.isActive());
    EXPECT_EQ(log.lines, active);
    log.lines.clear();

    // Focus moving from one window to the other, loss first, is no resignation.
    app.windowKeyboardFocusChanged(*a, false);
    app.windowKeyboardFocusChanged(*b, true);
    plat::RunLoop::main().drain();
    EXPECT_TRUE(app.isActive());
    EXPECT_TRUE(log.lines.empty());

    // The last window losing the keyboard resigns, one turn later.
    app.windowKeyboardFocusChanged(*b, false);
    EXPECT_TRUE(app.isActive());
    plat::RunLoop::main().drain();
    EXPECT_FALSE(app.isActive());
    EXPECT_EQ(log.lines, resign);
    log.lines.clear();

    // A loss reported twice, or for a window that never had the keyboard, changes nothing.
    app.windowKeyboardFocusChanged(*b, false);
    app.windowKeyboardFocusChanged(*a, false);
    plat::RunLoop::main().drain();
    EXPECT_TRUE(log.lines.empty());

    // Closing the window that has the keyboard takes the keyboard with it.
    app.windowKeyboardFocusChanged(*a, true);
    a->close();
    EXPECT_FALSE(app.hasKeyboardFocus());
    plat::RunLoop::main().drain();
    std::vector<std::string> expected = active;
    expected.insert(expected.end(), resign.begin(), resign.end());
    EXPECT_EQ(log.lines, expected);
}

TEST_F(ApplicationLifecycleTest, AnUpdatePassAnnouncesItselfThenUpdatesEachWindowInListOrder) {
    auto& app = Application::shared();
    app.updateWindows(); // no windows: only the announcement
    EXPECT_EQ(log.lines, std::vector<std::string>{"NSApplicationWillUpdateNotification"});
    log.lines.clear();

    auto a = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    auto b = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    a->setContent(std::make_shared<CountingContent>(log, "a"));
    b->setContent(std::make_shared<CountingContent>(log, "b"));
    // An observer that asks for another pass inside this one does not nest.
    auto nested = NotificationCenter::defaultCenter().addObserver(
        plat::NSApplicationWillUpdateNotification, {}, [&](const Notification&) { app.updateWindows(); });
    app.updateWindows();
    const std::vector<std::string> expected{"NSApplicationWillUpdateNotification", "update a", "update b"};
    EXPECT_EQ(log.lines, expected);
}

TEST_F(ApplicationLifecycleTest, RunUpdatesAfterEachMainQueueBlockAndReturnsOnTerminate) {
    auto& app = Application::shared();
    auto window = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    window->setContent(std::make_shared<CountingContent>(log, "w"));
    plat::mainQueue().async([&] {
        log.lines.push_back("block 1");
        plat::mainQueue().async([&] {
            log.lines.push_back("block 2");
            // From another thread, as a signal watcher would ask.
            std::thread([&] { app.terminate(); }).join();
        });
    });
    app.run();
    EXPECT_TRUE(app.isTerminating());
    std::vector<std::string> passes;
    for (const auto& line : log.lines) {
        if (line.rfind("update", 0) == 0 || line.rfind("block", 0) == 0 ||
            line.find("erminate") != std::string::npos)
            passes.push_back(line);
    }
    // Launch pass, one pass after each block; the hop of terminate() is a block of its own.
    const std::vector<std::string> expected{"update w",
                                            "block 1",
                                            "update w",
                                            "block 2",
                                            "update w",
                                            "delegate terminate",
                                            "NSApplicationWillTerminateNotification"};
    ASSERT_GE(passes.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(passes.begin(), passes.begin() + expected.size()), expected);
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "NSApplicationWillTerminateNotification"), 1);
    // Launch and activation came first.
    EXPECT_EQ(log.lines.front(), "delegate willFinish");
    app.terminate();
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "NSApplicationWillTerminateNotification"), 1);
}

TEST_F(ApplicationLifecycleTest, RunHandsARuntimeExceptionOfABlockToTheApplicationObjectAndGoesOn) {
    testsupport::TempHome home;
    plat::UserDefaults::resetForTesting();
    // The platform's reportException: gives way to one that records what it is handed.
    namespace rt = plat::rt;
    rt::Class application = rt::getClass(rt::kNSApplicationClassName);
    rt::SEL report = rt::selector(rt::kReportExceptionSelector);
    std::vector<std::string> reported;
    rt::IMP platform =
        rt::replaceMethod(application, report,
                          rt::makeImplementation([&](const rt::Id&, rt::SEL, const rt::Arguments& arguments) {
                              rt::Id exception = arguments.at(0).object();
                              reported.push_back(*rt::sendMessage(exception, "name").plain()->asString());
                              const auto& addresses =
                                  rt::sendMessage(exception, "callStackReturnAddresses").plain()->array();
                              EXPECT_FALSE(addresses.empty()) << "the stack of the raise";
                              return rt::Value();
                          }),
                          rt::kReportExceptionTypes);
    ASSERT_TRUE(platform);

    auto& app = Application::shared();
    plat::mainQueue().async([] { rt::sendMessage(rt::sharedApplication(), "aMessageNobodyAnswers"); });
    plat::mainQueue().async([&] {
        log.lines.push_back("after the exception");
        app.terminate();
    });
    app.run();
    EXPECT_EQ(reported, std::vector<std::string>{"NSInvalidArgumentException"});
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "after the exception"), log.lines.end())
        << "without NSApplicationCrashOnExceptions the loop goes on";

    // Outside run(), and for exceptions of other kinds, nothing is reported.
    try {
        throw std::runtime_error("not the runtime's");
    } catch (...) {
        EXPECT_FALSE(Application::reportUncaughtException());
    }
    EXPECT_EQ(reported.size(), 1u);
    rt::replaceMethod(application, report, platform, rt::kReportExceptionTypes);
    plat::UserDefaults::resetForTesting();
}

TEST_F(ApplicationLifecycleTest, HideTakesVisibleWindowsOffScreenAndUnhideBringsBackOnlyThose) {
    auto& app = Application::shared();
    auto shown = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    auto hidden = plat::Window::make(plat::ScreenRect{{0, 0}, {10, 10}});
    shown->makeKeyAndOrderFront();
    app.hide();
    EXPECT_FALSE(shown->isVisible());
    EXPECT_EQ(app.mainWindow(), nullptr);
    app.unhide();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_EQ(app.mainWindow(), shown);
}

} // namespace
