// The application's menu bar in its main window: the menus in the menu's order, "Check for
// Updates…" after About and greyed while a check runs, menus and items in the interface language,
// Left and Right from one menu to the next, items chosen from the bar, and the standard shortcuts
// (settings, quit) from the keyboard, also while an alert covers the window, and in the settings
// window, which has no bar: Escape and Ctrl+W close it, Ctrl+Q quits.
#include "tests/app/app_ui/AppTestSupport.h"

#include "platform/scene/MenuBar.h"
#include "platform/ui/Pasteboard.h"

namespace {

using apptest::LaunchedApp;
using plat::ui::KeyEvent;
using plat::ui::KeyModifiers;
using plat::ui::NodeRef;
using plat::ui::Query;

class MenuBarTest : public LaunchedApp {
protected:
    plat::ui::Host& mainHost() { return host(window()); }
    NodeRef barMenu(const std::string& title) {
        return mainHost().require(Query::testId("menuBar." + title));
    }
    // Opens a menu of the bar and returns its item titled `title`; the menu stays open.
    NodeRef openItem(const std::string& menu, const std::string& title) {
        mainHost().pressKey(plat::ui::Key::Escape); // whatever was open closes first
        EXPECT_TRUE(mainHost().click(barMenu(menu)));
        EXPECT_TRUE(mainHost().openMenu());
        return mainHost().openMenu().find(Query::button(title));
    }
};

TEST_F(MenuBarTest, TheBarShowsTheMenusAndCheckForUpdatesAfterAbout) {
    launch();
    auto& host = mainHost();
    const NodeRef bar = host.require(Query::testId("menuBar"));
    EXPECT_EQ(bar.frame().y, 0);
    EXPECT_EQ(bar.frame().height, plat::scene::MenuBarModel::kHeight);
    std::vector<std::string> titles;
    for (const auto& menu : plat::Application::shared().mainMenu()->items()) {
        titles.push_back(menu->submenu()->title());
        EXPECT_TRUE(host.find(Query::testId("menuBar." + menu->submenu()->title()))) << titles.back();
    }
    EXPECT_EQ(titles.front(), "Velmora");

    // The popup lists About, then the update check, with the settings shortcut shown as Ctrl+,.
    ASSERT_TRUE(host.click(barMenu("Velmora")));
    const auto popup = host.menuPopup();
    ASSERT_TRUE(popup);
    ASSERT_GE(popup->rows.size(), 3u);
    EXPECT_EQ(popup->rows[0].text, "About Velmora");
    EXPECT_EQ(popup->rows[1].text, "Check for Updates…");
    bool settingsShortcut = false;
    for (const auto& row : popup->rows)
        settingsShortcut |= row.text == "Settings…" && row.shortcut == "Ctrl+,";
    EXPECT_TRUE(settingsShortcut);
    // Every row lies in the window, below the bar.
    for (const auto& row : popup->rows) {
        EXPECT_GE(row.frame.y, plat::scene::MenuBarModel::kHeight);
        EXPECT_LE(row.frame.maxX(), host.contentSize().width);
    }
}

TEST_F(MenuBarTest, InSpanishTheBarsMenusAndItemsAreSpanish) {
    plat::UserDefaults::standard().set("AppleLanguages",
                                       plat::Object(plat::Object::Array{plat::Object("es")}));
    plat::Localization::shared().resetForTesting();
    launch();
    std::vector<std::string> titles;
    for (const char* menu : {"File", "Edit", "Window", "Help"})
        titles.push_back(barMenu(menu).find(Query::kind(plat::ui::ViewKind::Text)).text());
    EXPECT_EQ(titles, (std::vector<std::string>{"Archivo", "Edición", "Ventana", "Ayuda"}));
    EXPECT_LE(barMenu("Help").frame().maxX(), 300) << "the bar fits the compact main window";
    ASSERT_TRUE(mainHost().click(barMenu("Velmora")));
    const auto popup = mainHost().menuPopup();
    ASSERT_TRUE(popup);
    ASSERT_GE(popup->rows.size(), 2u);
    EXPECT_EQ(popup->rows[0].text, "Acerca de Velmora");
    EXPECT_EQ(popup->rows[1].text, "Buscar actualizaciones…");
    // The items still answer to their shortcuts.
    ASSERT_TRUE(mainHost().keyDown(KeyEvent::typed("q", KeyModifiers::Command)));
    EXPECT_TRUE(plat::Application::shared().isTerminating());
}

TEST_F(MenuBarTest, LeftAndRightMoveBetweenTheBarsMenusRoundTheEnds) {
    launch();
    settle();
    auto& host = mainHost();
    using plat::ui::Key;
    // A field with the focus behind the menus keeps its text and caret: the keys are the bar's.
    const NodeRef email = host.require(Query::placeholder("Email"));
    ASSERT_TRUE(host.type(email, "me@example.org"));
    ASSERT_TRUE(host.click(barMenu("File")));
    ASSERT_TRUE(host.pressKey(Key::Right));
    EXPECT_EQ(host.openMenu(), barMenu("Edit"));
    ASSERT_TRUE(host.pressKey(Key::Left));
    ASSERT_TRUE(host.pressKey(Key::Left));
    EXPECT_EQ(host.openMenu(), barMenu("Velmora"));
    ASSERT_TRUE(host.pressKey(Key::Left));
    EXPECT_EQ(host.openMenu(), barMenu("Help"));
    EXPECT_FALSE(host.menuPopup()->rows.front().reached) << "the pointer opened it: no entry reached";
    // Moved with the keys inside a menu, the next one opens on its first entry, which Return chooses.
    ASSERT_TRUE(host.pressKey(Key::Right));
    ASSERT_TRUE(host.pressKey(Key::Down));
    ASSERT_TRUE(host.pressKey(Key::Right));
    ASSERT_EQ(host.openMenu(), barMenu("File"));
    EXPECT_TRUE(host.menuPopup()->rows.front().reached);
    EXPECT_EQ(email.value(), "me@example.org");
    EXPECT_EQ(email.fieldSelection()->caret, email.value().size());
    // With no menu open the keys are not the bar's.
    ASSERT_TRUE(host.pressKey(Key::Escape));
    host.pressKey(Key::Right);
    EXPECT_FALSE(host.openMenu());
}

TEST_F(MenuBarTest, ChoosingCheckForUpdatesStartsACheckAndGreysTheItemWhileItRuns) {
    launch();
    const NodeRef check = openItem("Velmora", "Check for Updates…");
    ASSERT_TRUE(check);
    EXPECT_TRUE(check.isEnabled());
    ASSERT_TRUE(mainHost().click(check));
    EXPECT_FALSE(mainHost().openMenu()) << "choosing an item closes the menu";
    ASSERT_TRUE(pendingFeed) << "the bar's item starts a user-initiated check";
    settle();
    EXPECT_FALSE(openItem("Velmora", "Check for Updates…").isEnabled());

    // The check ends: the item is enabled again in the bar.
    pendingFeed(std::nullopt, std::nullopt);
    settle();
    EXPECT_TRUE(openItem("Velmora", "Check for Updates…").isEnabled());
}

TEST_F(MenuBarTest, SettingsAndQuitShortcutsWorkAlsoUnderAnAlertAndTheSettingsWindowHasNoBar) {
    launch();
    settle();
    auto& host = mainHost();
    // An alert over the login form: the bar's commands still answer.
    ASSERT_TRUE(host.setText(host.require(Query::placeholder("Email")), "not-an-address"));
    ASSERT_TRUE(host.click(host.require(Query::button("Login"))));
    settle();
    ASSERT_FALSE(host.alerts().empty());

    ASSERT_TRUE(host.keyDown(KeyEvent::typed(",", KeyModifiers::Command)));
    auto settings = scenes->settingsWindow();
    ASSERT_TRUE(settings);
    settle();
    EXPECT_FALSE(this->host(settings).find(Query::testId("menuBar")));
    EXPECT_EQ(this->host(settings).contentSize().height, settings->contentSize().height);

    EXPECT_FALSE(plat::Application::shared().isTerminating());
    ASSERT_TRUE(host.keyDown(KeyEvent::typed("q", KeyModifiers::Command)));
    EXPECT_TRUE(plat::Application::shared().isTerminating());
}

TEST_F(MenuBarTest, TheEditMenuCutsCopiesAndPastesInTheFocusedField) {
    launch();
    settle();
    plat::ui::Pasteboard::resetForTesting();
    auto& host = mainHost();
    const NodeRef email = host.require(Query::placeholder("Email"));
    ASSERT_TRUE(host.type(email, "me@example.org"));
    ASSERT_TRUE(host.click(openItem("Edit", "Select All")));
    ASSERT_TRUE(host.click(openItem("Edit", "Cut")));
    EXPECT_EQ(email.value(), "");
    EXPECT_EQ(plat::ui::Pasteboard::general().string(), "me@example.org");
    ASSERT_TRUE(host.click(openItem("Edit", "Paste")));
    ASSERT_TRUE(host.click(openItem("Edit", "Paste")));
    EXPECT_EQ(email.value(), "me@example.orgme@example.org");
    ASSERT_TRUE(host.click(openItem("Edit", "Undo")));
    EXPECT_EQ(email.value(), "me@example.org");
    EXPECT_EQ(host.focused(), email) << "the menu leaves the focus in the field";
    plat::ui::Pasteboard::resetForTesting();
}

TEST_F(MenuBarTest, TheSettingsWindowClosesOnEscapeAndCtrlWAndQuitsOnCtrlQ) {
    launch();
    settle();
    auto open = [&] {
        EXPECT_TRUE(mainHost().keyDown(KeyEvent::typed(",", KeyModifiers::Command)));
        settle();
        return scenes->settingsWindow();
    };
    auto settings = open();
    ASSERT_TRUE(settings);
    ASSERT_TRUE(host(settings).pressKey(plat::ui::Key::Escape));
    settle();
    EXPECT_FALSE(scenes->settingsWindow());
    EXPECT_TRUE(window()) << "the main window stays";

    settings = open();
    ASSERT_TRUE(settings);
    ASSERT_TRUE(host(settings).keyDown(KeyEvent::typed("w", KeyModifiers::Command)));
    settle();
    EXPECT_FALSE(scenes->settingsWindow());

    settings = open();
    ASSERT_TRUE(settings);
    EXPECT_FALSE(host(settings).keyDown(KeyEvent::typed("j", KeyModifiers::Command))) << "no such command";
    EXPECT_FALSE(plat::Application::shared().isTerminating());
    ASSERT_TRUE(host(settings).keyDown(KeyEvent::typed("q", KeyModifiers::Command)));
    EXPECT_TRUE(plat::Application::shared().isTerminating());
}

} // namespace
