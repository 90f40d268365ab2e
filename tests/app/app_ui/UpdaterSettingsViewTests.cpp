// The settings window: two switches that start from the updater's settings and write back.
#include "tests/app/app_ui/AppTestSupport.h"

namespace {

using apptest::LaunchedApp;
using plat::ui::Query;

TEST_F(LaunchedApp, DownloadSwitchIsDisabledWhileAutomaticCheckingIsOffAndKeepsItsValue) {
    updater->setAutomaticallyChecksForUpdates(false);
    updater->setAutomaticallyDownloadsUpdates(true);
    launch();
    auto settings = scenes->showSettings();
    ASSERT_TRUE(settings);
    pass();
    auto& ui = host(settings);
    auto checks = ui.require(Query::toggle("Automatically check for updates"));
    auto downloads = ui.require(Query::toggle("Automatically download updates"));
    EXPECT_EQ(checks.isOn(), std::optional<bool>(false));
    EXPECT_EQ(downloads.isOn(), std::optional<bool>(true)) << "shown with its stored value";
    EXPECT_FALSE(downloads.isEnabled());
    EXPECT_FALSE(ui.setToggle(downloads, false)) << "a disabled switch takes no click";

    // Turning checking on enables the download switch at once and reaches the updater.
    ASSERT_TRUE(ui.setToggle(checks, true));
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());
    downloads = ui.require(Query::toggle("Automatically download updates"));
    EXPECT_TRUE(downloads.isEnabled());
    ASSERT_TRUE(ui.setToggle(downloads, false));
    EXPECT_FALSE(updater->automaticallyDownloadsUpdates());
    ASSERT_TRUE(ui.setToggle(downloads, true));

    // Turning checking off leaves the download setting alone.
    ASSERT_TRUE(ui.setToggle(ui.require(Query::toggle("Automatically check for updates")), false));
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
    EXPECT_TRUE(updater->automaticallyDownloadsUpdates());
    downloads = ui.require(Query::toggle("Automatically download updates"));
    EXPECT_FALSE(downloads.isEnabled());
    EXPECT_EQ(downloads.isOn(), std::optional<bool>(true));
}

TEST_F(LaunchedApp, TheSwitchesKeepTheUsersChoiceWhileOpenAndRereadTheUpdaterWhenReopened) {
    launch();
    auto settings = scenes->showSettings();
    pass();
    EXPECT_EQ(host(settings).require(Query::toggle("Automatically check for updates")).isOn(),
              std::optional<bool>(false));
    // A change made elsewhere is not re-read while the view exists.
    updater->setAutomaticallyChecksForUpdates(true);
    settle();
    EXPECT_EQ(host(settings).require(Query::toggle("Automatically check for updates")).isOn(),
              std::optional<bool>(false));

    settings->close();
    auto reopened = scenes->showSettings();
    ASSERT_NE(reopened, settings);
    pass();
    EXPECT_EQ(host(reopened).require(Query::toggle("Automatically check for updates")).isOn(),
              std::optional<bool>(true));
}

} // namespace
