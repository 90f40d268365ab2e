// The main window: the keychain test of every build with its logged-out placeholder, the compact
// and full layouts, the sheets and the window sizing one main-queue turn after it shows.
#include "app/classes/Preferences.h"
#include "app/views/VPNMainView.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/app/screens/ScreenTestSupport.h"

namespace {

using namespace screentest;
using plat::ui::ViewKind;

class MainWindowTest : public ControllerScreenTest {
protected:
    void showMain() {
        auto c = controller_;
        show(plat::ui::make<Removable>(presence_, plat::ui::make<VPNMainView>(true, [c] { return c; })));
    }
    bool full() { return has(screen("MapView")) && has(Query::testId("subscription")); }

    std::shared_ptr<Presence> presence_ = std::make_shared<Presence>();
};

TEST_F(MainWindowTest, EmptyStoredCredentialsStillShowTheLoggedInLayout) {
    Preferences::setToken("");
    Preferences::setEmail("");
    showMain();
    EXPECT_FALSE(has(Query::text("Please log in")));
    EXPECT_TRUE(has(Query::testId("AccountMenu")));
    EXPECT_TRUE(has(Query::testId("powerButton")));
    EXPECT_TRUE(has(Query::text("Not Connected")) || has(Query::text("VPN Not Connected")));
}

TEST_F(MainWindowTest, WithoutATokenThePlaceholderPostsLogoutEachTimeItShows) {
    Preferences::setEmail("user@example.org");
    int logouts = 0;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        "logout", {}, [&](const plat::Notification&) { ++logouts; });
    showMain();
    EXPECT_TRUE(has(Query::text("Please log in")));
    EXPECT_FALSE(has(Query::testId("AccountMenu")));
    EXPECT_EQ(logouts, 1);
    host().update();
    EXPECT_EQ(logouts, 1) << "posted when shown, not on every pass";
    presence_->shown = false;
    host().update();
    presence_->shown = true;
    host().update();
    EXPECT_EQ(logouts, 2);
}

TEST_F(MainWindowTest, CompactByDefaultAndSizedTo300By600OneTurnLater) {
    Preferences::setToken("tok");
    Preferences::setEmail("user@example.org");
    const plat::ScreenRect before = window()->frame();
    showMain();
    EXPECT_FALSE(full());
    EXPECT_FALSE(has(screen("MapView")) || has(Query::testId("subscription")));
    EXPECT_EQ(window()->frame(), before);
    settle();
    EXPECT_EQ(window()->frame(), (plat::ScreenRect{before.origin, {300, 600}}));
    EXPECT_TRUE(has(screen("VPNRegionsView")));
}

TEST_F(MainWindowTest, TheFullLayoutShowsThePlanTextAndTheMapAndIs800Wide) {
    Preferences::setToken("tok");
    Preferences::setEmail("user@example.org");
    Preferences::setCompactView(false);
    const plat::ScreenRect before = window()->frame();
    showMain();
    ASSERT_TRUE(full());
    // An empty plan text keeps its place and its leading padding.
    EXPECT_EQ(node(Query::testId("subscription")).text(), "");
    const auto plan = node(Query::testId("subscription"));
    EXPECT_EQ(plan.find(Query::kind(ViewKind::Text)).environment().effectiveFont().description(),
              plat::ui::Font::system(18, plat::ui::FontWeight::Regular, plat::ui::FontDesign::Rounded)
                  .description());
    EXPECT_EQ(plan.data().geometry->insets.leading, 60);
    settle();
    EXPECT_EQ(window()->frame(), (plat::ScreenRect{before.origin, {800, 600}}));

    controller_->subscription = "Premium, 12 days left";
    host().update();
    EXPECT_EQ(node(Query::testId("subscription")).text(), "Premium, 12 days left");

    // Turning the compact view on redraws without resizing here.
    Preferences::setCompactView(true);
    settle();
    EXPECT_FALSE(full());
    EXPECT_EQ(window()->frame().size, (plat::Size{800, 600}));
}

TEST_F(MainWindowTest, EachSheetShowsWhileItsFlagIsSet) {
    Preferences::setToken("tok");
    Preferences::setEmail("user@example.org");
    showMain();
    const std::pair<plat::Published<bool> VelmoraController::*, const char*> sheets[] = {
        {&VelmoraController::showSettings, "SettingsView"},
        {&VelmoraController::showPricing, "PricingView"},
        {&VelmoraController::showManageDevices, "ManageDevicesView"},
    };
    for (const auto& [flag, id] : sheets) {
        SCOPED_TRACE(id);
        (*controller_).*flag = true;
        host().update();
        ASSERT_EQ(host().sheets().size(), 1u);
        EXPECT_TRUE(host().sheets().front().find(screen(id)));
        // A dismissal by the user resets the flag through its binding.
        ASSERT_TRUE(host().dismissTop());
        EXPECT_FALSE(((*controller_).*flag).get());
        EXPECT_TRUE(host().sheets().empty());
    }
}

TEST_F(MainWindowTest, AWindowIsNotResizedForAMainWindowThatIsGone) {
    Preferences::setToken("tok");
    Preferences::setEmail("user@example.org");
    const plat::ScreenRect before = window()->frame();
    showMain();
    presence_->shown = false;
    host().update();
    settle();
    EXPECT_EQ(window()->frame(), before);
}

} // namespace
