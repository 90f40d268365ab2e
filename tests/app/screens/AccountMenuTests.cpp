// The account menu: its label, the sheet flags it inverts, the support mail it writes (the text
// exactly, with the fallbacks and the encoding of the link) and log-out.
#include "app/classes/Preferences.h"
#include "app/views/AccountMenu.h"
#include "app/views/SupportMail.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/app/screens/ScreenTestSupport.h"

#include <cstdlib>

namespace {

using namespace screentest;
using plat::ui::ViewKind;

class AccountMenuTest : public ControllerScreenTest {
protected:
    void showMenu() {
        // The sheets hang on the menu in the main window; here the same bindings are attached.
        auto c = controller_;
        auto flag = [c](plat::Published<bool> VelmoraController::*f) {
            return plat::Binding<bool>([c, f] { return ((*c).*f).get(); },
                                       [c, f](const bool& v) { (*c).*f = v; });
        };
        show(plat::ui::make<AccountMenu>(controller_).sheet(flag(&VelmoraController::showPricing), [] {
            return plat::ui::Text("Pricing sheet");
        }));
    }
    // Opens the menu and chooses the item titled `title`.
    void choose(const std::string& title) {
        ASSERT_TRUE(host().click(node(Query::kind(ViewKind::Menu))));
        ASSERT_TRUE(host().click(node(Query::button(title))));
    }
    std::string label() {
        return node(Query::kind(ViewKind::Menu)).find(Query::kind(ViewKind::Label)).text();
    }
};

TEST_F(AccountMenuTest, TheLabelShowsTheStoredAddressVerbatimOrUNDEFINED) {
    showMenu();
    EXPECT_EQ(label(), "UNDEFINED");
    EXPECT_EQ(node(Query::kind(ViewKind::Menu)).find(Query::kind(ViewKind::Label)).symbol(),
              "person.crop.circle.fill");
    Preferences::setEmail("Someone.Else@example.org");
    controller_->subscription = "plan"; // any redraw of the main window reads it again
    host().update();
    EXPECT_EQ(label(), "Someone.Else@example.org");
}

TEST_F(AccountMenuTest, SheetItemsInvertTheirFlagsSoASheetOpensEachTime) {
    showMenu();
    for (int round = 0; round < 2; ++round) {
        choose("Pricing");
        ASSERT_EQ(host().sheets().size(), 1u) << round;
        EXPECT_TRUE(host().sheets().front().find(Query::text("Pricing sheet")));
        ASSERT_TRUE(host().dismissTop());
        EXPECT_FALSE(controller_->showPricing.get());
        EXPECT_TRUE(host().sheets().empty());
    }
    choose("Settings");
    choose("Manage Devices");
    EXPECT_TRUE(controller_->showSettings.get() && controller_->showManageDevices.get());
    choose("Settings");
    EXPECT_FALSE(controller_->showSettings.get());
}

TEST(SupportMailText, BodyAndLinkAreExact) {
    const SupportMail::Facts facts{"Debian GNU/Linux 12 (bookworm)", "1.0.0", "en-US", "user@example.org"};
    EXPECT_EQ(SupportMail::body(facts),
              "\n\nPlatform: Debian GNU/Linux 12 (bookworm)\nApp version: 1.0.0\nDevice language ISO: "
              "en-US\nUsername: user@example.org");
    EXPECT_EQ(SupportMail::link("support@velmora.example", facts),
              "mailto:support@velmora.example?subject=Velmora%20Support%20ticket&body="
              "%0A%0APlatform:%20Debian%20GNU%2FLinux%2012%20(bookworm)%0AApp%20version:%201.0.0"
              "%0ADevice%20language%20ISO:%20en-US%0AUsername:%20user%40example.org");
}

TEST(SupportMailText, QueryValuesCannotBeEndedOrSplitByWhatTheyCarry) {
    // "&", "=" and "+" would end the body, split a pair or read as a space; brackets would make
    // the whole link unparsable. The rest of the host set stays as it is.
    EXPECT_EQ(SupportMail::encodeQueryValue("a&b=c+d [x]/?#@ !$'()*,-.:;_~"),
              "a%26b%3Dc%2Bd%20%5Bx%5D%2F%3F%23%40%20!$'()*,-.:;_~");
    EXPECT_EQ(SupportMail::encodeQueryValue("\xC3\xA9"), "%C3%A9");
    EXPECT_EQ(SupportMail::encodeQueryValue("\xFF"), "") << "text that is not UTF-8 gives the empty string";
    const SupportMail::Facts facts{"1.0.0", "1", "en", "me&cc=x@[127.0.0.1]"};
    const std::string link = SupportMail::link("support@velmora.example", facts);
    auto url = plat::URL::string(link);
    ASSERT_TRUE(url) << link;
    const auto items = url->queryItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].value, SupportMail::body(facts));
}

TEST(SupportMailText, MissingFactsReadUnknown) {
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "bundle" / "Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>CFBundleShortVersionString</key><integer>3</integer></dict></plist>\n");
    const plat::Bundle bundle(home.path() / "bundle");
    EXPECT_EQ(SupportMail::appVersion(bundle), "Unknown") << "present but not a string";
    EXPECT_EQ(SupportMail::address(bundle), SupportMail::defaultAddress);
    const plat::Bundle empty(home.path() / "nothing");
    EXPECT_EQ(SupportMail::appVersion(empty), "Unknown");

    plat::UserDefaults::resetForTesting();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        unsetenv(name);
    const char* lang = std::getenv("LANG");
    const std::string savedLang = lang ? lang : "";
    setenv("LANG", "C", 1);
    EXPECT_EQ(SupportMail::preferredLanguage(), std::nullopt);
    EXPECT_EQ(SupportMail::currentFacts().language, "Unknown");
    EXPECT_EQ(SupportMail::currentFacts().userName, "Unknown");
    setenv("LANG", "es_ES.UTF-8", 1);
    EXPECT_EQ(SupportMail::preferredLanguage(), std::optional<std::string>("es-ES"));
    plat::UserDefaults::standard().set("AppleLanguages",
                                       plat::Object(plat::Object::Array{plat::Object("de-AT")}));
    EXPECT_EQ(SupportMail::preferredLanguage(), std::optional<std::string>("de-AT"));
    if (lang)
        setenv("LANG", savedLang.c_str(), 1);
    else
        unsetenv("LANG");
    plat::UserDefaults::resetForTesting();
}

// The platform line names the system the user runs as its os-release does, not its version number
// under another system's name.
TEST_F(AccountMenuTest, CustomerSupportHandsTheMailLinkToTheWorkspace) {
    runOnSystem("NAME=\"Testix\"\nVERSION_ID=\"7.1\"\nPRETTY_NAME=\"Testix 7.1 (quiet)\"\nID=testix\n");
    plat::UserDefaults::standard().set("AppleLanguages",
                                       plat::Object(plat::Object::Array{plat::Object("en-US")}));
    Preferences::setEmail("user@example.org");
    showMenu();
    choose("Customer support");
    const std::string version = SupportMail::appVersion(plat::Bundle::main());
    ASSERT_EQ(links_->size(), 1u);
    EXPECT_EQ(links_->front(), "mailto:support@velmora.example?subject=Velmora%20Support%20ticket&body="
                               "%0A%0APlatform:%20Testix%207.1%20(quiet)%0AApp%20version:%20" +
                                   version +
                                   "%0ADevice%20language%20ISO:%20en-US%0AUsername:%20user%40example.org");
}

TEST_F(AccountMenuTest, ASupportMailNothingCanOpenShowsItsAddress) {
    Preferences::setEmail("user@example.org");
    plat::Workspace::shared().setLauncherForTesting([](const std::vector<std::string>&) { return false; });
    showMenu();
    choose("Customer support");
    ASSERT_TRUE(waitFor([&] { return static_cast<bool>(topAlert()); }));
    EXPECT_TRUE(topAlert().find(Query::text("Cannot Open Link")));
    EXPECT_NE(topAlert().text().find("mailto:support@velmora.example?subject=Velmora%20Support%20ticket"),
              std::string::npos)
        << topAlert().text();
    ASSERT_TRUE(host().click(topAlert().find(Query::button("OK"))));
    EXPECT_FALSE(topAlert());
}

TEST_F(AccountMenuTest, LogOutEndsTheSessionAndKeepsTheTunnelCredentials) {
    for (const char* key : {"email", "token", "password", "server", "vpnUsername", "vpnPassword", "uid"})
        Preferences::setKeychainValue(std::string("value of ") + key, key);
    vm_->state = ContentViewModel::ProgramState::loggedIn;
    helper_->status = plat::NEVPNStatus::connected;
    controller_->connectionStatus = plat::NEVPNStatus::connected;
    int shownLogin = 0;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        "showLoginView", {}, [&](const plat::Notification&) { ++shownLogin; });
    showMenu();
    choose("Log out");
    EXPECT_EQ(vm_->state.get(), ContentViewModel::ProgramState::needLogin);
    EXPECT_EQ(shownLogin, 1);
    EXPECT_EQ(helper_->disconnects, 1);
    EXPECT_FALSE(Preferences::email() || Preferences::token() || Preferences::password());
    EXPECT_TRUE(Preferences::server() && Preferences::vpnUsername() && Preferences::vpnPassword());
    EXPECT_EQ(Preferences::uid(), std::optional<std::string>("value of uid"));
}

} // namespace
