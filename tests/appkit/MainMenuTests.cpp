// The menu bar: standard groups, the application's groups around them, validation and shortcuts.
#include "platform/appkit/Application.h"
#include "platform/appkit/MainMenu.h"
#include "platform/appkit/Window.h"

#include <gtest/gtest.h>

namespace {

using plat::Application;
using plat::CommandGroup;
using plat::MainMenu;
using plat::MenuItem;
using P = plat::CommandGroupPlacement;

std::vector<std::string> titles(const plat::Menu& menu) {
    std::vector<std::string> out;
    for (const auto& item : menu.items())
        out.push_back(item->isSeparator() ? "---" : item->title());
    return out;
}

class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override { Application::shared().resetForTesting(); }
    void TearDown() override { Application::shared().resetForTesting(); }
};

TEST_F(MainMenuTest, StandardBarHasTheApplicationMenuFirstAndLeavesEmptyMenusOut) {
    auto bar = MainMenu::make("Velmora", {});
    EXPECT_EQ(titles(*bar), (std::vector<std::string>{"Velmora", "File", "Edit", "Window", "Help"}));
    auto appMenu = bar->submenuWithTitle("Velmora");
    ASSERT_TRUE(appMenu);
    EXPECT_EQ(titles(*appMenu),
              (std::vector<std::string>{"About Velmora", "---", "Settings…", "---", "Hide Velmora",
                                        "Show All", "---", "Quit Velmora"}));
    EXPECT_EQ(bar->submenuWithTitle("File")->items().front()->title(), "New Window");
}

TEST_F(MainMenuTest, GroupsReplaceOrFollowStandardGroupsInTheirOrder) {
    auto check = MenuItem::make("Check for Updates…");
    auto later = MenuItem::make("Later");
    auto bar = MainMenu::make("Velmora", {CommandGroup::replacing(P::newItem, {}),
                                          CommandGroup::after(P::appInfo, {check}),
                                          CommandGroup::after(P::appInfo, {later}),
                                          CommandGroup::before(P::appTermination, {MenuItem::make("Bye")})});
    auto appMenu = bar->submenuWithTitle("Velmora");
    EXPECT_EQ(titles(*appMenu),
              (std::vector<std::string>{"About Velmora", "Check for Updates…", "Later", "---", "Settings…",
                                        "---", "Hide Velmora", "Show All", "---", "Bye", "Quit Velmora"}));
    // The emptied New group leaves no item and no leading separator behind.
    auto file = bar->submenuWithTitle("File");
    EXPECT_EQ(titles(*file), std::vector<std::string>{"Close"});
    EXPECT_EQ(bar->findItem("New Window"), nullptr);
    EXPECT_EQ(bar->findItem("Check for Updates…"), check);
}

TEST_F(MainMenuTest, ValidationFollowsTheApplicationAndRefusedItemsDoNotRun) {
    auto& app = Application::shared();
    int newWindows = 0;
    auto bar = MainMenu::make("Velmora", {}, MainMenu::Actions{[&] { ++newWindows; }});
    auto settings = bar->findItem("Settings…");
    auto close = bar->findItem("Close");
    auto zoom = bar->findItem("Zoom");
    bar->update();
    EXPECT_FALSE(settings->isEnabled()) << "no settings scene yet";
    EXPECT_FALSE(close->isEnabled());
    EXPECT_FALSE(bar->findItem("Velmora Help")->isEnabled());
    EXPECT_FALSE(zoom->perform());

    int settingsShown = 0;
    app.setSettingsHandler([&] { ++settingsShown; });
    auto window = plat::Window::make(plat::ScreenRect{{0, 0}, {100, 100}});
    window->makeKeyAndOrderFront();
    bar->update();
    EXPECT_TRUE(settings->isEnabled());
    EXPECT_TRUE(zoom->isEnabled());
    EXPECT_TRUE(bar->itemForKeyEquivalent(",")->perform());
    EXPECT_EQ(settingsShown, 1);
    EXPECT_TRUE(bar->itemForKeyEquivalent("n")->perform());
    EXPECT_EQ(newWindows, 1);

    // The Zoom item goes with the key window's zoom button, also when validation is stale.
    window->standardWindowButton(plat::WindowButtonType::zoomButton)->setEnabled(false);
    EXPECT_FALSE(zoom->perform());
    EXPECT_FALSE(zoom->isEnabled());

    // Close, like the close button, ends the application with its last window and only then.
    auto other = plat::Window::make(plat::ScreenRect{{0, 0}, {100, 100}});
    other->makeKeyAndOrderFront();
    EXPECT_TRUE(close->perform());
    EXPECT_EQ(app.windows().size(), 1u);
    EXPECT_FALSE(app.isTerminating());
    window->makeKeyAndOrderFront();
    EXPECT_TRUE(close->perform());
    EXPECT_TRUE(app.windows().empty());
    EXPECT_TRUE(app.isTerminating());
}

TEST_F(MainMenuTest, MinimizeAndAboutReachTheKeyWindowAndTheApplication) {
    auto& app = Application::shared();
    auto bar = MainMenu::make("Velmora", {});
    auto window = plat::Window::make(plat::ScreenRect{{0, 0}, {100, 100}});
    window->makeKeyAndOrderFront();
    const uint64_t fronted = window->orderFrontCount();
    bar->update();
    EXPECT_TRUE(bar->itemForKeyEquivalent("m")->perform());
    EXPECT_TRUE(window->isMiniaturized());
    window->makeKeyAndOrderFront();
    EXPECT_FALSE(window->isMiniaturized());
    EXPECT_EQ(window->orderFrontCount(), fronted + 1);

    std::vector<std::pair<std::string, std::string>> shown;
    EXPECT_FALSE(app.showMessage("Title", "Nobody shows this."));
    app.setMessageHandler(
        [&](const std::string& title, const std::string& text) { shown.emplace_back(title, text); });
    EXPECT_TRUE(bar->findItem("About Velmora")->perform());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Velmora");
    EXPECT_NE(shown[0].second.find("Version "), std::string::npos) << shown[0].second;
}

TEST_F(MainMenuTest, DescribeShowsShortcutsSeparatorsAndDisabledItems) {
    auto item = MenuItem::make("Check for Updates…");
    item->setValidator([] { return false; });
    auto bar = MainMenu::make("Velmora", {CommandGroup::after(P::appInfo, {item})});
    const std::string text = bar->describe();
    EXPECT_NE(text.find("Velmora\n  About Velmora\n  Check for Updates… (disabled)\n  ---\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Quit Velmora [cmd-q]"), std::string::npos) << text;
}

} // namespace
