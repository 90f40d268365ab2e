// The settings sheet: the compact switch stores its setting and resizes the main window two
// main-queue turns later; the other switches write through; the language picker's default, its
// write-through to "AppleLanguages" and the restart alert; removing the tunnel profile with its
// success and error alerts; the close button.
#include "app/classes/Preferences.h"
#include "app/views/SettingsView.h"
#include "launch_at_login/LoginItem.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/vpn/NEVPNManager.h"
#include "tests/app/sheets/SheetTestSupport.h"

namespace {

using namespace sheettest;
using plat::ui::NodeRef;
using plat::ui::Tag;
using plat::ui::ViewKind;

class SettingsViewTest : public ControllerScreenTest {
protected:
    ~SettingsViewTest() override { plat::NEVPNManager::shared().resetForTesting(plat::Scheduler::system()); }
    void showSettings() { show(plat::ui::make<SettingsView>(controller_, VPNProtocol::Optimal)); }
    NodeRef toggle(const std::string& label) { return node(Query::toggle(label)); }
    NodeRef picker() { return node(Query::testId("languagePicker")); }
    static plat::Object stored(const std::string& key) { return plat::UserDefaults::standard().object(key); }
    // Waits for the alert and returns its title and message as shown.
    std::pair<std::string, std::string> awaitAlert() {
        EXPECT_TRUE(waitFor([&] { return static_cast<bool>(topAlert()); }));
        NodeRef alert = topAlert();
        if (!alert) return {};
        auto texts = alert.findAll(Query::kind(ViewKind::Text));
        return {texts.size() > 0 ? texts[0].text() : "", texts.size() > 1 ? texts[1].text() : ""};
    }
    void pressOK() {
        ASSERT_TRUE(host().click(topAlert().find(Query::button("OK"))));
        EXPECT_FALSE(topAlert());
    }
};

TEST_F(SettingsViewTest, CompactSwitchStoresAtOnceAndResizesTheMainWindowTwoTurnsLater) {
    const plat::ScreenRect before = window()->frame();
    showSettings();
    ASSERT_EQ(toggle("Compact View").isOn(), true) << "the stored default";

    ASSERT_TRUE(host().setToggle(toggle("Compact View"), false));
    EXPECT_FALSE(Preferences::compactView());
    EXPECT_EQ(window()->frame(), before);
    runTurn();
    EXPECT_EQ(window()->frame(), before) << "still queued after one turn";
    runTurn();
    EXPECT_EQ(window()->frame(), (plat::ScreenRect{before.origin, {800, 600}}));

    // Off and on again in quick succession: each value is stored and the last one wins.
    ASSERT_TRUE(host().setToggle(toggle("Compact View"), true));
    ASSERT_TRUE(host().setToggle(toggle("Compact View"), false));
    ASSERT_TRUE(host().setToggle(toggle("Compact View"), true));
    EXPECT_TRUE(Preferences::compactView());
    settle();
    EXPECT_EQ(window()->frame(), (plat::ScreenRect{before.origin, {300, 600}}));
}

TEST_F(SettingsViewTest, CompactSwitchStartsFromTheStoredValueAndWorksWithoutAMainWindow) {
    Preferences::setCompactView(false);
    plat::Application::shared().resetForTesting();
    ASSERT_FALSE(plat::Application::shared().mainWindow());
    showSettings();
    EXPECT_EQ(toggle("Compact View").isOn(), false);
    ASSERT_TRUE(host().setToggle(toggle("Compact View"), true));
    settle();
    EXPECT_TRUE(Preferences::compactView());
}

TEST_F(SettingsViewTest, OtherSwitchesWriteThroughToTheirSettings) {
    const plat::ScreenRect before = window()->frame();
    showSettings();
    EXPECT_EQ(toggle("Kill switch").isOn(), true);
    EXPECT_EQ(toggle("Exclude local network").isOn(), true);
    ASSERT_TRUE(host().setToggle(toggle("Kill switch"), false));
    ASSERT_TRUE(host().setToggle(toggle("Exclude local network"), false));
    EXPECT_FALSE(Preferences::killSwitch());
    EXPECT_FALSE(Preferences::excludeLocalNetworks());
    EXPECT_EQ(toggle("Kill switch").isOn(), false);

    // Launch at login is the login-item registration, not a setting.
    ASSERT_FALSE(launch_at_login::LoginItem::isEnabled());
    ASSERT_TRUE(host().setToggle(toggle("Launch Velmora on startup"), true));
    EXPECT_TRUE(launch_at_login::LoginItem::isEnabled());
    ASSERT_TRUE(host().setToggle(toggle("Launch Velmora on startup"), false));
    EXPECT_FALSE(launch_at_login::LoginItem::isEnabled());

    settle();
    EXPECT_EQ(window()->frame(), before) << "only the compact switch resizes";
    EXPECT_TRUE(stored("VPNProtocol").isAbsent()) << "the protocol is kept, never written here";
}

TEST_F(SettingsViewTest, LanguageChoiceWritesAppleLanguagesAndAsksForARestart) {
    ScopedEnv language("LANGUAGE", std::nullopt), all("LC_ALL", std::nullopt),
        messages("LC_MESSAGES", std::nullopt), lang("LANG", "en_GB.UTF-8");
    showSettings();
    EXPECT_EQ(picker().selection(), Tag("en"));
    std::vector<std::string> shown;
    for (const auto& entry : picker().findAll(Query::kind(ViewKind::Text)))
        shown.push_back(entry.text());
    EXPECT_EQ(shown, (std::vector<std::string>{"English", "Español"})) << "sorted by code, names verbatim";

    // The entry already selected is no change: nothing written, no alert.
    ASSERT_TRUE(host().select(picker(), Tag("en")));
    settle();
    EXPECT_TRUE(stored("AppleLanguages").isAbsent());
    EXPECT_TRUE(stored("SelectedLanguage").isAbsent());
    EXPECT_FALSE(topAlert());

    ASSERT_TRUE(host().selectEntry(picker(), "Español"));
    EXPECT_EQ(stored("SelectedLanguage"), plat::Object("es"));
    EXPECT_EQ(stored("AppleLanguages"), plat::Object(plat::Object::Array{plat::Object("es")}));
    auto [title, message] = awaitAlert();
    EXPECT_EQ(title, "Restart Required");
    EXPECT_EQ(message, "The app needs to restart to apply the language changes.");
    pressOK();

    // The same alert again for the next change: equal alerts share one identity.
    ASSERT_TRUE(host().select(picker(), Tag("en")));
    EXPECT_EQ(stored("AppleLanguages"), plat::Object(plat::Object::Array{plat::Object("en")}));
    EXPECT_EQ(awaitAlert().first, "Restart Required");
    EXPECT_EQ(SettingsView::ActiveAlert::message("Restart Required", "x").id(),
              SettingsView::ActiveAlert::message("Restart Required", "x").id());
}

TEST_F(SettingsViewTest, LanguageDefaultsToTheSystemsCodeEvenWhenUnsupported) {
    ScopedEnv language("LANGUAGE", std::nullopt), all("LC_ALL", std::nullopt),
        messages("LC_MESSAGES", std::nullopt), lang("LANG", "de_DE.UTF-8");
    showSettings();
    EXPECT_EQ(picker().selection(), Tag("de"));
    EXPECT_FALSE(
        picker().find(Query::where("tagged de", [](const NodeRef& n) { return n.tag() == Tag("de"); })));
    settle();
    EXPECT_TRUE(stored("SelectedLanguage").isAbsent()) << "nothing is written until the user chooses";
    EXPECT_TRUE(stored("AppleLanguages").isAbsent());
    ASSERT_TRUE(host().select(picker(), Tag("en")));
    EXPECT_EQ(stored("SelectedLanguage"), plat::Object("en"));
    EXPECT_EQ(awaitAlert().first, "Restart Required");
}

TEST(SettingsLanguageTest, SystemLanguageCode) {
    ScopedEnv language("LANGUAGE", std::nullopt), all("LC_ALL", std::nullopt),
        messages("LC_MESSAGES", std::nullopt), lang("LANG", std::nullopt);
    EXPECT_EQ(SettingsView::systemLanguageCode(), std::nullopt) << "nothing set: the picker falls back to en";
    setenv("LANG", "C", 1);
    EXPECT_EQ(SettingsView::systemLanguageCode(), std::nullopt);
    setenv("LANG", "pt_BR.UTF-8", 1);
    EXPECT_EQ(SettingsView::systemLanguageCode(), "pt");
    setenv("LC_MESSAGES", "es_ES@euro", 1);
    EXPECT_EQ(SettingsView::systemLanguageCode(), "es") << "messages before the general locale";
    setenv("LANGUAGE", "fr:en", 1);
    EXPECT_EQ(SettingsView::systemLanguageCode(), "fr") << "the preferred list first";
}

TEST_F(SettingsViewTest, RemoveProfileReportsTheErrorAndTheSuccess) {
    showSettings();
    auto& manager = plat::NEVPNManager::shared();
    manager.setFaultForTesting(plat::NEVPNManager::Operation::remove,
                               plat::Error::withMessage("io.velmora.test", 5, "The profile is in use."));
    ASSERT_TRUE(host().click(node(Query::button("Remove profile"))));
    auto [title, message] = awaitAlert();
    EXPECT_EQ(title, "Error");
    EXPECT_EQ(message, "Error removing VPN profile: The profile is in use.");
    pressOK();

    manager.setFaultForTesting(plat::NEVPNManager::Operation::remove, std::nullopt);
    ASSERT_TRUE(host().click(node(Query::button("Remove profile"))));
    std::tie(title, message) = awaitAlert();
    EXPECT_EQ(title, "Profile Removed");
    EXPECT_EQ(message, "The VPN profile has been successfully removed from your device.");
    pressOK();
}

TEST_F(SettingsViewTest, CloseButtonTurnsTheFlagOff) {
    controller_->showSettings = true;
    showSettings();
    EXPECT_EQ(node(Query::text("Settings")).environment().effectiveFont(), plat::ui::Font::largeTitle());
    ASSERT_TRUE(host().click(node(Query::testId("closeButton"))));
    EXPECT_FALSE(controller_->showSettings.get());
}

} // namespace

namespace {

TEST_F(SettingsViewTest, InTheCompactWindowTheSheetKeepsEveryControlInReach) {
    auto c = controller_;
    plat::ui::HostOptions options;
    options.contentSize = {300, 572};
    options.metrics = std::make_shared<plat::render::FontMetrics>();
    show(plat::ui::VStack({plat::ui::Text("main")})
             .sheet(plat::Binding<bool>::constant(true),
                    [c] { return plat::ui::make<SettingsView>(c, VPNProtocol::Optimal); }),
         options);
    ASSERT_EQ(host().sheets().size(), 1u);
    const plat::Rect sheet = host().sheets()[0].frame();
    EXPECT_GE(sheet.width, 600);
    EXPECT_GE(sheet.height, 400);
    std::vector<NodeRef> controls = host().findAll(Query::kind(ViewKind::Toggle));
    controls.push_back(node(Query::testId("closeButton")));
    controls.push_back(node(Query::button("Remove profile")));
    controls.push_back(picker());
    EXPECT_EQ(controls.size(), 7u);
    for (const NodeRef& control : controls) {
        const plat::Rect f = control.frame();
        EXPECT_GE(f.x, sheet.x) << control.text();
        EXPECT_LE(f.maxX(), sheet.maxX()) << control.text();
    }
    // The close button answers a click where it is drawn.
    controller_->showSettings = true;
    EXPECT_TRUE(host().mouseClick(node(Query::testId("closeButton")).frame().center()));
    EXPECT_FALSE(controller_->showSettings.get());
}

} // namespace
