// The screens in a real window under a display, against the stand-in: the login window at 800 by
// 500, a rejected address with its alert, sign-in to the compact main window at 300 by 600,
// connecting with the power button, and log-out back to the login screen. Each state is written
// as a screenshot ($VELMORA_SCREENSHOT_DIR, else "screenshots" in the working folder).
#include "app/ContentView.h"
#include "app/classes/Preferences.h"
#include "platform/appkit/WindowContent.h"
#include "platform/render/Bitmap.h"
#include "platform/render/GlWindow.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/HostWindow.h"
#include "platform/vpn/NEVPNConnection.h"
#include "standin/StandinServer.h"
#include "tests/app/screens/ScreenTestSupport.h"
#include "tests/render/XServer.h"
#include "tests/support/WaitFor.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace screentest;
using namespace std::chrono_literals;
using plat::render::GlWindow;
using plat::render::HostWindow;
using plat::render::WindowSystem;

// What the shell does for a window: its content area, as the application sizes it, is the real
// window's content area.
class SurfaceContent : public plat::WindowContent {
public:
    explicit SurfaceContent(HostWindow& window) : window_(window) {}
    void windowDidResize(plat::Size size) override {
        window_.surface().setContentSize({size.width, size.height});
    }
    void update() override {}
    std::string describe() const override { return "surface"; }

private:
    HostWindow& window_;
};

class ScreensOnDisplay : public ScreenTest {
protected:
    ScreensOnDisplay() {
        server_.start(0);
        setenv("VELMORA_API_BASE", server_.baseURL().c_str(), 1);
        Client::reloadServerPathForTesting();
        plat::NEVPNManager::shared().resetForTesting(scheduler_);
    }
    ~ScreensOnDisplay() override {
        if (window()) window()->setContent(nullptr);
        onScreen_.reset();
        // The shared manager outlives this test's clock.
        plat::NEVPNManager::shared().resetForTesting(plat::Scheduler::system());
        server_.stop();
    }
    void SetUp() override {
        REQUIRE_DISPLAY();
        settle();
        plat::ui::HostOptions options;
        options.contentSize = {window()->contentSize().width, window()->contentSize().height};
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        show(plat::ui::make<ContentView>(), options);
        plat::render::WindowOptions w;
        w.title = "Velmora";
        w.contentSize = {options.contentSize.width, options.contentSize.height};
        auto* host = &this->host();
        onScreen_ = std::make_unique<HostWindow>(sharedHost(), w, [host] { return host->focused(); });
        window()->setContent(std::make_shared<SurfaceContent>(*onScreen_));
        const char* dir = std::getenv("VELMORA_SCREENSHOT_DIR");
        shots_ = dir ? std::filesystem::path(dir) : std::filesystem::current_path() / "screenshots";
        std::filesystem::create_directories(shots_);
    }
    bool onLoginScreen() { return has(Query::placeholder("Email")); }
    bool onMainWindow() { return has(Query::testId("powerButton")); }
    // Lets the tunnel simulator act on what is queued, then moves its clock.
    void advanceTunnel(plat::Duration d) {
        auto& manager = plat::NEVPNManager::shared();
        for (int i = 0; i < 3; ++i)
            manager.queue().sync([] {});
        scheduler_.advance(d);
        for (int i = 0; i < 3; ++i)
            manager.queue().sync([] {});
    }

    // Turns the real event loop (which also runs the main queue) until `done` holds: the stand-in's
    // answers and the window manager's moves take many seconds on a crowded machine, so only the
    // suite's patience bounds it.
    bool until(const std::function<bool()>& done) {
        return WindowSystem::shared().runUntil(
            [&] {
                plat::NEVPNManager::shared().queue().sync([] {});
                return done();
            },
            testsupport::kPatience);
    }
    void clickOnScreen(const plat::ui::NodeRef& node) {
        ASSERT_TRUE(node) << host().dump();
        const plat::Rect f = node.frame();
        gl().simulateMouseClick({f.x + f.width / 2, f.y + f.height / 2});
        WindowSystem::shared().runUntil([] { return false; }, 50ms);
    }
    // The real window's content size, in whole points.
    plat::Size onScreenSize() {
        const auto s = onScreen_->surface().contentSize();
        return {std::round(s.width), std::round(s.height)};
    }
    plat::render::Bitmap screenshot(const std::string& name) {
        onScreen_->display();
        const auto path = shots_ / (name + ".png");
        EXPECT_TRUE(onScreen_->writeScreenshots(path)) << path;
        auto bitmap = plat::render::Bitmap::readPng(path);
        EXPECT_TRUE(bitmap) << path;
        return bitmap.value_or(plat::render::Bitmap{});
    }
    GlWindow& gl() { return static_cast<GlWindow&>(onScreen_->surface()); }
    static plat::Size contentFor(double width, double height) {
        return {width, height - plat::Window::kTitleStripHeight};
    }
    // The login window asks for 800 by 500 and is at least as high as the larger of its two
    // forms, whichever form it shows.
    plat::Size loginContent() {
        const plat::Size asked = contentFor(800, 500);
        return {asked.width, std::max(asked.height, std::round(host().minimumContentSize().height))};
    }

    standin::StandinServer server_;
    servicetest::ConsoleCapture console_;
    plat::ManualScheduler scheduler_;
    std::unique_ptr<HostWindow> onScreen_;
    std::filesystem::path shots_;
};

TEST_F(ScreensOnDisplay, SignInConnectAndLogOutInARealWindow) {
    // The login window: 800 by 500 with its title strip, so its content is the rest.
    ASSERT_TRUE(until([&] { return window()->frame().size == plat::Size{800, 500}; }));
    ASSERT_TRUE(until([&] { return onScreenSize() == loginContent(); })) << onScreenSize().height;
    ASSERT_TRUE(onLoginScreen());
    const plat::Size loginSize = onScreenSize();
    auto login = screenshot("01-login");
    ASSERT_EQ(login.width, 800);
    // The brand column is drawn in "rightBarColor" (#1E3A8A) along the right edge.
    const uint32_t corner = login.pixel(login.width - 5, 5);
    EXPECT_EQ(corner >> 8, 0x1E3A8Au);

    // The sign-up form and back: the window keeps its size, and the form is whole inside it.
    clickOnScreen(node(Query::button("Sign Up")));
    ASSERT_TRUE(until([&] { return has(Query::placeholder("Repeat Password")); }));
    WindowSystem::shared().runUntil([] { return false; }, 100ms);
    EXPECT_EQ(onScreenSize(), loginSize);
    EXPECT_LE(node(Query::button("Log In")).frame().maxY(), loginSize.height);
    screenshot("01-sign-up");
    clickOnScreen(node(Query::button("Log In")));
    ASSERT_TRUE(until([&] { return has(Query::button("Login")); }));
    WindowSystem::shared().runUntil([] { return false; }, 100ms);
    EXPECT_EQ(onScreenSize(), loginSize);

    // An invalid address: the alert, and the typed values stay.
    clickOnScreen(node(Query::placeholder("Email")));
    gl().simulateText("demo-at-example.org");
    clickOnScreen(node(Query::placeholder("Password")));
    gl().simulateText("secret12");
    ASSERT_TRUE(until([&] { return node(Query::placeholder("Password")).value() == "secret12"; }));
    clickOnScreen(node(Query::button("Login")));
    ASSERT_TRUE(until([&] { return topAlert() && has(Query::button("Login")); }));
    EXPECT_TRUE(topAlert().find(Query::text("Please enter valid email")));
    EXPECT_EQ(node(Query::placeholder("Email")).value(), "demo-at-example.org");
    screenshot("02-invalid-email");
    clickOnScreen(topAlert().find(Query::button("OK")));
    ASSERT_TRUE(until([&] { return !topAlert(); }));

    // A wrong password: the server's message, then the form again.
    ASSERT_TRUE(host().setText(node(Query::placeholder("Email")), standin::StandinServer::demoEmail()));
    ASSERT_TRUE(host().setText(node(Query::placeholder("Password")), "wrong-password"));
    clickOnScreen(node(Query::button("Login")));
    ASSERT_TRUE(until([&] { return topAlert() && has(Query::button("Login")); }));
    EXPECT_FALSE(topAlert().text().empty());
    clickOnScreen(topAlert().find(Query::button("OK")));
    ASSERT_TRUE(until([&] { return !topAlert(); }));

    // A valid sign-in: the compact main window, 300 by 600.
    ASSERT_TRUE(host().setText(node(Query::placeholder("Password")), standin::StandinServer::demoPassword()));
    clickOnScreen(node(Query::button("Login")));
    ASSERT_TRUE(until([&] { return onMainWindow(); }));
    ASSERT_TRUE(until([&] { return onScreenSize() == contentFor(300, 600); })) << onScreenSize().width;
    EXPECT_EQ(window()->frame().size, (plat::Size{300, 600}));
    ASSERT_TRUE(until([] { return Preferences::configId() != 0; }));
    screenshot("03-main-window");

    // The power button connects; the status names the region.
    const std::string country = Preferences::countryConnected();
    clickOnScreen(node(Query::testId("powerButton")));
    ASSERT_TRUE(until([&] { return has(Query::text("Connecting...")); }));
    screenshot("04-connecting");
    advanceTunnel(plat::NEVPNConnection::connectTime);
    ASSERT_TRUE(until([&] { return has(Query::text("Connected to " + country)); }));
    screenshot("05-connected");

    // Log out: the login screen again, without the stored credentials.
    clickOnScreen(node(Query::kind(plat::ui::ViewKind::Menu)));
    ASSERT_TRUE(until([&] { return static_cast<bool>(host().openMenu()); }));
    // The window does not draw an open menu's items yet: the item is chosen through the host,
    // by the same path a click on it takes.
    screenshot("06-account-menu-open");
    ASSERT_TRUE(host().click(node(Query::button("Log out"))));
    ASSERT_TRUE(until([&] { return onLoginScreen(); }));
    EXPECT_FALSE(Preferences::email() || Preferences::token() || Preferences::password());
    ASSERT_TRUE(until([&] { return onScreenSize() == loginSize; }));
    screenshot("07-logged-out");
}

} // namespace
