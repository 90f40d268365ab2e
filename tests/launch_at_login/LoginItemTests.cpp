// The login item: the application's own entry on every Linux whatever its version, the helper path
// kept for moving over from, its three kinds of observers, the logged failures, the one-time
// migration from the helper, and the settings switch's model.
#include "launch_at_login/LoginItem.h"
#include "launch_at_login/LoginItemToggle.h"
#include "platform/appkit/SMAppService.h"
#include "platform/appkit/SMLoginItem.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using launch_at_login::LoginItem;
using namespace plat;
namespace fs = std::filesystem;

namespace {

constexpr const char* kHelper = "io.velmora.mac-LoginItemHelper";
constexpr const char* kDebian12 =
    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
    "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\nID=debian\n";

class LoginItemTest : public ::testing::Test {
protected:
    LoginItemTest() {
        UserDefaults::resetForTesting();
        // Whatever the machine running the tests is, they see what a Debian 12 user gets.
        runOn(kDebian12);
        OSLog::setSink([this](const OSLog::Entry& e) {
            logs.push_back(e.subsystem + "[" + e.category + "] " + osLogTypeName(e.type) + ": " + e.text);
        });
    }
    ~LoginItemTest() override {
        OSLog::setSink(nullptr);
        LoginItem::setUsesLegacyHelperForTesting(false);
        ProcessInfo::processInfo().setOSReleasePathForTesting(std::nullopt);
        UserDefaults::resetForTesting();
    }
    // The system is the one this os-release text describes; none stands for a system without one.
    void runOn(const std::optional<std::string>& osRelease) {
        const fs::path path = home.path() / "os-release";
        fs::remove(path);
        if (osRelease) testsupport::writeFile(path, *osRelease);
        ProcessInfo::processInfo().setOSReleasePathForTesting(path);
    }
    // What the desktop session writes when the user switches an entry off in its startup settings.
    static void switchOffInSession(const fs::path& entry) {
        testsupport::writeFile(entry, testsupport::readFile(entry) + "X-GNOME-Autostart-enabled=false\n");
    }
    fs::path mainEntry() const { return home.path() / "autostart" / "io.velmora.mac.desktop"; }
    fs::path helperEntry() const { return home.path() / "autostart" / (std::string(kHelper) + ".desktop"); }
    static Object::Array jobs() {
        return SMCopyAllJobDictionaries(kSMDomainUserLaunchd).value_or(Object::Array{});
    }

    testsupport::TempHome home;
    std::vector<std::string> logs;
};

TEST_F(LoginItemTest, SwitchingCreatesAndRemovesTheEntryAndTellsEveryObserver) {
    std::vector<std::string> events;
    auto will =
        LoginItem::observable().objectWillChange().sink([&] { events.push_back("objectWillChange"); });
    auto kvo = LoginItem::kvo().observe("isEnabled", [&](bool prior) {
        events.push_back(std::string(prior ? "kvo prior " : "kvo after ") +
                         (LoginItem::kvo().isEnabled() ? "on" : "off"));
    });
    bool subscribed = false;
    auto pub = LoginItem::publisher().sink([&](bool v) {
        if (subscribed) events.push_back(std::string("publisher ") + (v ? "true" : "false"));
    });
    subscribed = true;

    EXPECT_FALSE(LoginItem::isEnabled());
    LoginItem::setIsEnabled(true);
    EXPECT_TRUE(fs::exists(mainEntry()));
    EXPECT_TRUE(LoginItem::isEnabled());
    EXPECT_TRUE(LoginItem::publisher().value());
    LoginItem::setIsEnabled(false);
    EXPECT_FALSE(fs::exists(mainEntry()));
    EXPECT_FALSE(LoginItem::isEnabled());

    EXPECT_EQ(events, (std::vector<std::string>{"objectWillChange", "kvo prior off", "kvo after on",
                                                "publisher true", "objectWillChange", "kvo prior on",
                                                "kvo after off", "publisher false"}));
    EXPECT_TRUE(logs.empty());
    EXPECT_TRUE(jobs().empty()) << "the modern path leaves the helper's job list alone";
}

// The autostart entry is what the session starts on every Linux; a distribution's version number
// says nothing about which path it offers, and the session's own switch shows only in the entry.
TEST_F(LoginItemTest, EveryLinuxUsesTheApplicationsOwnEntryWhateverItsVersion) {
    // The last two fall back to the kernel's release for a version number.
    for (const auto& osRelease : std::vector<std::optional<std::string>>{
             kDebian12, "ID=debian\nVERSION_ID=\"13\"\n", "ID=ubuntu\nVERSION_ID=\"22.04\"\n",
             "ID=arch\nBUILD_ID=rolling\n", std::nullopt}) {
        const std::string name = osRelease.value_or("no os-release");
        runOn(osRelease);
        LoginItem::setIsEnabled(true);
        EXPECT_TRUE(fs::exists(mainEntry())) << name;
        EXPECT_FALSE(fs::exists(helperEntry())) << name;
        EXPECT_TRUE(jobs().empty()) << name;
        EXPECT_TRUE(LoginItem::isEnabled()) << name;
        switchOffInSession(mainEntry());
        EXPECT_FALSE(LoginItem::isEnabled()) << name << ": the session switched it off";
        LoginItem::setIsEnabled(false);
        EXPECT_FALSE(fs::exists(mainEntry())) << name;
        EXPECT_FALSE(LoginItem::isEnabled()) << name;
    }
    EXPECT_TRUE(logs.empty());
}

TEST_F(LoginItemTest, SwitchedOffBySessionReadsOffAndSwitchingOnRestoresIt) {
    LoginItem::setIsEnabled(true);
    switchOffInSession(mainEntry());
    EXPECT_EQ(SMAppService::mainApp().status(), SMAppService::Status::requiresApproval);
    EXPECT_FALSE(LoginItem::isEnabled());
    LoginItem::setIsEnabled(true);
    EXPECT_TRUE(LoginItem::isEnabled());
    // Switching on while already on re-registers, which is no failure.
    LoginItem::setIsEnabled(true);
    EXPECT_TRUE(LoginItem::isEnabled());
    EXPECT_TRUE(logs.empty());
}

TEST_F(LoginItemTest, FailuresAreLoggedAndThePublisherStillSendsTheRequest) {
    std::vector<bool> sent;
    auto pub = LoginItem::publisher().sink([&](bool v) { sent.push_back(v); });
    sent.clear();

    LoginItem::setIsEnabled(false);
    testsupport::writeFile(paths::autostartDir(), "a file where the folder should be");
    LoginItem::setIsEnabled(true);
    EXPECT_FALSE(LoginItem::isEnabled());
    EXPECT_EQ(sent, (std::vector<bool>{false, true}));
    EXPECT_EQ(logs,
              (std::vector<std::string>{
                  "io.velmora.LoginItem[main] Error: Failed to disable launch at login: The login item "
                  "io.velmora.mac is not registered.",
                  "io.velmora.LoginItem[main] Error: Failed to enable launch at login: The autostart entry " +
                      mainEntry().string() + " could not be written."}));
}

TEST_F(LoginItemTest, TheHelperPathSwitchesTheJobAndItsEntry) {
    LoginItem::setUsesLegacyHelperForTesting(true);
    LoginItem::setIsEnabled(true);
    ASSERT_EQ(jobs().size(), 1u);
    EXPECT_EQ(jobs()[0]["Label"], Object(kHelper));
    EXPECT_EQ(jobs()[0]["OnDemand"], Object(true));
    EXPECT_TRUE(fs::exists(helperEntry()));
    EXPECT_FALSE(fs::exists(mainEntry()));
    EXPECT_TRUE(LoginItem::isEnabled());
    LoginItem::setUsesLegacyHelperForTesting(false);
    EXPECT_FALSE(LoginItem::isEnabled()) << "otherwise the application's own registration is asked";
    LoginItem::setUsesLegacyHelperForTesting(true);
    LoginItem::setIsEnabled(false);
    EXPECT_TRUE(jobs().empty());
    EXPECT_FALSE(fs::exists(helperEntry()));
    EXPECT_FALSE(LoginItem::isEnabled());
}

TEST_F(LoginItemTest, LegacyStateReadsOnlyAnOnDemandBooleanOfTheFirstMatchingJob) {
    LoginItem::setUsesLegacyHelperForTesting(true);
    struct Case {
        const char* name;
        Object list;
        bool expected;
    };
    Object::Dict on{{"Label", kHelper}, {"OnDemand", true}};
    for (const auto& c : std::vector<Case>{
             {"empty", Object(Object::Array{}), false},
             {"matching", Object(Object::Array{Object::Dict{{"Label", "x"}}, on}), true},
             {"OnDemand missing", Object(Object::Array{Object::Dict{{"Label", kHelper}}}), false},
             {"OnDemand not a boolean",
              Object(Object::Array{Object::Dict{{"Label", kHelper}, {"OnDemand", 1}}}), false},
             {"first match decides",
              Object(Object::Array{Object::Dict{{"Label", kHelper}, {"OnDemand", false}}, on}), false},
             {"label not a string", Object(Object::Array{Object::Dict{{"Label", 5}, {"OnDemand", true}}, on}),
              true},
             {"not all dictionaries", Object(Object::Array{Object("job"), on}), false},
             {"not a list", Object(on), false},
         }) {
        ASSERT_TRUE(smWriteJobListForTesting(c.list)) << c.name;
        EXPECT_EQ(LoginItem::isEnabled(), c.expected) << c.name;
    }
    testsupport::writeFile(smJobListPath(), "damaged");
    EXPECT_FALSE(LoginItem::isEnabled());
}

// A Debian 12 user who switched launch at login on through the helper keeps it on.
TEST_F(LoginItemTest, MigrationMovesTheHelperRegistrationOnce) {
    ASSERT_TRUE(SMLoginItemSetEnabled(kHelper, true));
    LoginItem::setUsesLegacyHelperForTesting(true);
    LoginItem::migrateIfNeeded();
    EXPECT_TRUE(UserDefaults::standard().object("LoginItem__hasMigrated").isAbsent())
        << "nothing on the helper path";
    EXPECT_EQ(jobs().size(), 1u);

    LoginItem::setUsesLegacyHelperForTesting(false);
    int notifications = 0;
    auto will = LoginItem::observable().objectWillChange().sink([&] { ++notifications; });
    LoginItem::migrateIfNeeded();
    EXPECT_EQ(UserDefaults::standard().object("LoginItem__hasMigrated"), Object(true));
    EXPECT_TRUE(fs::exists(mainEntry()));
    EXPECT_TRUE(LoginItem::isEnabled());
    EXPECT_TRUE(jobs().empty());
    EXPECT_FALSE(fs::exists(helperEntry()));
    EXPECT_EQ(notifications, 0) << "migration tells no observer";

    // A second call does nothing, even with a helper job present again.
    ASSERT_TRUE(smWriteJobListForTesting(
        Object(Object::Array{Object::Dict{{"Label", kHelper}, {"OnDemand", true}}})));
    LoginItem::migrateIfNeeded();
    EXPECT_EQ(jobs().size(), 1u);
    EXPECT_TRUE(logs.empty());
}

TEST_F(LoginItemTest, MigrationSetsTheFlagEvenWhenNothingMovesOrTheMoveFails) {
    LoginItem::migrateIfNeeded();
    EXPECT_EQ(UserDefaults::standard().object("LoginItem__hasMigrated"), Object(true));
    EXPECT_FALSE(fs::exists(mainEntry()));
    EXPECT_TRUE(logs.empty());

    UserDefaults::standard().remove("LoginItem__hasMigrated");
    ASSERT_TRUE(smWriteJobListForTesting(
        Object(Object::Array{Object::Dict{{"Label", kHelper}, {"OnDemand", true}}})));
    testsupport::writeFile(paths::autostartDir(), "a file where the folder should be");
    LoginItem::migrateIfNeeded();
    EXPECT_EQ(UserDefaults::standard().object("LoginItem__hasMigrated"), Object(true));
    EXPECT_EQ(logs,
              (std::vector<std::string>{"io.velmora.LoginItem[main] Error: Failed to enable launch at login: "
                                        "The autostart entry " +
                                        mainEntry().string() + " could not be written."}));
}

TEST_F(LoginItemTest, ToggleModel) {
    using Toggle = LoginItem::Toggle;
    EXPECT_EQ(Toggle().label(), (Toggle::Label{"Launch at login", false}));
    EXPECT_EQ(Toggle("Open at startup").label(), (Toggle::Label{"Open at startup", false}));
    EXPECT_EQ(Toggle::localized("settings.launchAtLogin").label(),
              (Toggle::Label{"settings.launchAtLogin", true}));
    int built = 0;
    Toggle custom = Toggle::withLabel([&] {
        ++built;
        return Toggle::Label{"Custom", false};
    });
    EXPECT_EQ(built, 1);
    EXPECT_EQ(custom.label().text, "Custom");
    EXPECT_EQ(&custom.loginItem(), &LoginItem::observable()) << "every switch observes the one shared object";

    int redraws = 0;
    auto will = custom.loginItem().objectWillChange().sink([&] { ++redraws; });
    EXPECT_FALSE(custom.isOn());
    custom.setIsOn(true);
    EXPECT_TRUE(custom.isOn());
    EXPECT_TRUE(fs::exists(mainEntry()));
    custom.setIsOn(false);
    EXPECT_FALSE(custom.isOn());
    EXPECT_EQ(redraws, 2);
}

} // namespace
