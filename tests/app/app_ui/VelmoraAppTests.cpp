// The application: launch order, the menu commands, the zoom buttons and the first window's size.
#include "tests/app/app_ui/AppTestSupport.h"

#include "platform/foundation/NotificationCenter.h"

namespace {

using apptest::LaunchedApp;
using plat::Application;
using plat::Size;
using plat::WindowButtonType;

bool zoomEnabled(const std::shared_ptr<plat::Window>& w) {
    return w->standardWindowButton(WindowButtonType::zoomButton)->isEnabled();
}

TEST_F(LaunchedApp, LaunchStartsTheUpdaterFirstThenTheDelegateTurnsTabbingOffAndConfiguresTheCore) {
    plat::Window::setAllowsAutomaticWindowTabbing(true);
    std::optional<bool> startedAtWillFinish;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        plat::NSApplicationWillFinishLaunchingNotification, {},
        [&](const plat::Notification&) { startedAtWillFinish = updater->isStarted(); });
    launch();
    EXPECT_EQ(startedAtWillFinish, std::optional<bool>(true));
    EXPECT_NE(std::dynamic_pointer_cast<AppDelegate>(Application::shared().delegate()), nullptr);
    EXPECT_FALSE(plat::Window::allowsAutomaticWindowTabbing());
    EXPECT_TRUE(TSRApp::isDefaultAppConfigured());
    ASSERT_EQ(Application::shared().windows().size(), 1u);
    EXPECT_EQ(Application::shared().mainWindow(), window());
}

TEST_F(LaunchedApp, TheMenuHasNoNewItemAndChecksForUpdatesRightAfterAboutWhileACheckCanStart) {
    launch();
    auto appMenu = menu("Velmora");
    ASSERT_TRUE(appMenu);
    ASSERT_GE(appMenu->numberOfItems(), 3u);
    EXPECT_EQ(appMenu->items()[0]->title(), "About Velmora");
    auto check = appMenu->items()[1];
    EXPECT_EQ(check->title(), "Check for Updates…");
    EXPECT_TRUE(appMenu->itemWithTitle("Settings…"));
    EXPECT_EQ(Application::shared().mainMenu()->findItem("New Window"), nullptr);
    for (const auto& item : menu("File")->items())
        EXPECT_NE(item->title().rfind("New", 0), 0u) << item->title();

    EXPECT_TRUE(check->isEnabled());
    ASSERT_TRUE(check->perform());
    ASSERT_TRUE(pendingFeed) << "the item starts a user-initiated check";
    settle();
    EXPECT_FALSE(check->isEnabled());
    EXPECT_FALSE(check->perform()) << "a second check cannot start while one runs";

    // Commands built afresh start from the updater's current value, with a new observation that
    // replaces the old one.
    const size_t observers = updater->canCheckForUpdates().subscriberCount();
    scenes->rebuildCommands();
    auto rebuilt = menu("Velmora")->items()[1];
    EXPECT_NE(rebuilt, check);
    EXPECT_FALSE(rebuilt->isEnabled());
    settle(); // the old item's view state is released once its tree has gone
    EXPECT_EQ(updater->canCheckForUpdates().subscriberCount(), observers);
    EXPECT_FALSE(check->perform()) << "an item of a replaced menu does nothing";

    auto answer = std::exchange(pendingFeed, nullptr);
    answer(std::string(R"({"version": "0"})"), std::nullopt);
    settle();
    EXPECT_TRUE(rebuilt->isEnabled());
    ASSERT_EQ(updaterMessages.size(), 1u);
}

TEST_F(LaunchedApp, ZoomButtonsAreDisabledAtTheNextPassForEveryWindowSettingsIncluded) {
    launch();
    auto main = window();
    pass();
    EXPECT_FALSE(zoomEnabled(main));

    ASSERT_TRUE(Application::shared().mainMenu()->findItem("Settings…")->perform());
    auto settings = scenes->settingsWindow();
    ASSERT_TRUE(settings);
    EXPECT_EQ(Application::shared().windows().size(), 2u);
    EXPECT_TRUE(zoomEnabled(settings));
    pass();
    EXPECT_FALSE(zoomEnabled(settings));
    EXPECT_FALSE(zoomEnabled(main));
    EXPECT_FALSE(Application::shared().mainMenu()->findItem("Zoom")->perform());

    // Settings chosen again brings the same window forward.
    ASSERT_TRUE(Application::shared().mainMenu()->findItem("Settings…")->perform());
    EXPECT_EQ(scenes->settingsWindow(), settings);
    EXPECT_EQ(Application::shared().windows().size(), 2u);

    // With no window left a pass changes nothing and does not fail.
    settings->close();
    main->close();
    pass();
    EXPECT_TRUE(Application::shared().windows().empty());
}

// The screens below the root size the window on their own as well, so each turn is watched for
// the root's resize rather than only the end state.
TEST_F(LaunchedApp, TheFirstWindowsContentBecomes800By500OnALaterTurnAfterTheRootAppears) {
    const Size target{800, 500};
    auto sizedOnSomeTurn = [&](const std::shared_ptr<plat::Window>& w) {
        bool seen = false;
        while (plat::RunLoop::main().runOne()) {
            seen = seen || w->contentSize() == target;
            pass();
        }
        return seen;
    };
    launch();
    auto first = window();
    EXPECT_NE(first->contentSize(), target) << "not within the pass in which the root appeared";
    EXPECT_TRUE(sizedOnSomeTurn(first));

    // The content size is the area below the title strip; the frame is taller.
    first->setContentSize(target);
    EXPECT_EQ(first->frame().size, (Size{800, 500 + plat::Window::kTitleStripHeight}));
    // The tree adds the menu bar's strip above it; the root view keeps the whole content area.
    EXPECT_EQ(host(first).contentSize(), (plat::Size{800, 500 + plat::scene::MenuBarModel::kHeight}));
    host(first).update();
    EXPECT_EQ(host(first).require(plat::ui::Query::testId("menuBar")).frame().height,
              plat::scene::MenuBarModel::kHeight);

    // Another appearance of the root (a second window of the group) sizes the first window again.
    first->setContentSize(Size{300, 300});
    auto second = scenes->openWindow();
    pass();
    EXPECT_EQ(first->contentSize(), (Size{300, 300}));
    EXPECT_TRUE(sizedOnSomeTurn(first));
}

} // namespace

namespace {

using plat::ui::Query;

TEST_F(LaunchedApp, AboutAndACheckWithoutAFeedTellTheUserInAnAlertOverTheMainWindow) {
    // The application's own updater, configured as the bundle leaves it: no feed.
    plat::SPUUpdater::Configuration c;
    c.defaults = defaults.get();
    updater = plat::SPUUpdater::make(std::move(c));
    launch();
    auto& main = host(window());

    ASSERT_TRUE(menu("Velmora")->itemWithTitle("About Velmora")->perform());
    settle();
    ASSERT_EQ(main.alerts().size(), 1u) << main.dump();
    EXPECT_TRUE(main.alerts()[0].find(Query::text("Velmora")));
    EXPECT_TRUE(main.alerts()[0].find(Query::textContaining("Version 1.0.0")));
    ASSERT_TRUE(main.click(main.alerts()[0].find(Query::button("OK"))));
    settle();
    EXPECT_TRUE(main.alerts().empty());

    ASSERT_TRUE(menu("Velmora")->itemWithTitle("Check for Updates…")->perform());
    settle();
    ASSERT_EQ(main.alerts().size(), 1u) << main.dump();
    EXPECT_TRUE(
        main.alerts()[0].find(Query::text("Velmora cannot check for updates: no update feed is configured.")))
        << main.dump();
}

} // namespace
