// The login-item stand-ins: autostart entries, the application's registration and the older
// helper switch with its job list.
#include "platform/appkit/AutostartEntry.h"
#include "platform/appkit/SMAppService.h"
#include "platform/appkit/SMLoginItem.h"
#include "platform/foundation/Paths.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace plat;
namespace fs = std::filesystem;

namespace {

TEST(SMAppServiceTest, RegisterWritesTheAutostartEntryOfTheBundle) {
    testsupport::TempHome home;
    auto app = SMAppService::mainApp();
    ASSERT_EQ(app.identifier(), "io.velmora.mac");
    EXPECT_EQ(app.status(), SMAppService::Status::notRegistered);

    EXPECT_FALSE(app.registerAndReturnError());
    fs::path entry = home.path() / "autostart" / "io.velmora.mac.desktop";
    EXPECT_EQ(paths::autostartDir() / "io.velmora.mac.desktop", entry);
    std::string text = testsupport::readFile(entry);
    EXPECT_EQ(text.substr(0, 16), "[Desktop Entry]\n");
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=Velmora\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=" + AutostartEntry::currentExecutable().string() + "\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "private, like everything under the data root";
    EXPECT_EQ(app.status(), SMAppService::Status::enabled);

    // Switched off in the session's startup settings: registered but not enabled.
    testsupport::writeFile(entry, text + "Hidden=true\n");
    EXPECT_EQ(app.status(), SMAppService::Status::requiresApproval);
    EXPECT_FALSE(app.registerAndReturnError());
    EXPECT_EQ(app.status(), SMAppService::Status::enabled) << "registering again switches it back on";

    EXPECT_FALSE(app.unregisterAndReturnError());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(app.status(), SMAppService::Status::notRegistered);
    auto error = app.unregisterAndReturnError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, AutostartEntry::kErrorDomain);
    EXPECT_EQ(error->code, AutostartEntry::kErrorNotRegistered);
    EXPECT_EQ(error->localizedDescription(), "The login item io.velmora.mac is not registered.");
}

TEST(SMAppServiceTest, UnwritableAutostartFolderAndBadIdentifiers) {
    testsupport::TempHome home;
    testsupport::writeFile(paths::autostartDir(), "not a folder");
    auto error = SMAppService::mainApp().registerAndReturnError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, AutostartEntry::kErrorWriteFailed);
    EXPECT_EQ(error->localizedDescription(), "The autostart entry " +
                                                 (paths::autostartDir() / "io.velmora.mac.desktop").string() +
                                                 " could not be written.");
    // Nor is an entry written into a folder of another user (made since the launch checked them).
    if (::geteuid() == 0) {
        fs::remove(paths::autostartDir());
        fs::create_directories(paths::autostartDir());
        ASSERT_EQ(::chown(paths::autostartDir().c_str(), 4242, 4242), 0);
        EXPECT_TRUE(SMAppService::mainApp().registerAndReturnError());
        EXPECT_FALSE(fs::exists(paths::autostartDir() / "io.velmora.mac.desktop"));
    }

    for (const char* bad : {"", "..", "a/b"}) {
        auto helper = SMAppService::loginItem(bad);
        EXPECT_EQ(helper.status(), SMAppService::Status::notFound) << bad;
        ASSERT_TRUE(helper.registerAndReturnError()) << bad;
        EXPECT_EQ(helper.registerAndReturnError()->code, AutostartEntry::kErrorInvalidIdentifier);
    }
}

TEST(AutostartEntryTest, ExecQuoting) {
    EXPECT_EQ(AutostartEntry::quoteExec("/opt/velmora/bin/velmora"), "/opt/velmora/bin/velmora");
    EXPECT_EQ(AutostartEntry::quoteExec("/home/a b/velmora"), "\"/home/a b/velmora\"");
    EXPECT_EQ(AutostartEntry::quoteExec("/x/$HOME\"`\\%"), "\"/x/\\$HOME\\\"\\`\\\\%%\"");
}

TEST(SMLoginItemTest, SwitchKeepsTheJobListAndTheEntry) {
    testsupport::TempHome home;
    EXPECT_EQ(SMCopyAllJobDictionaries(kSMDomainUserLaunchd), Object::Array{})
        << "never written reads as empty";
    EXPECT_EQ(SMCopyAllJobDictionaries(kSMDomainSystemLaunchd), std::nullopt);

    ASSERT_TRUE(smWriteJobListForTesting(Object(Object::Array{Object::Dict{{"Label", "other.job"}}})));
    ASSERT_TRUE(SMLoginItemSetEnabled("io.velmora.mac-LoginItemHelper", true));
    ASSERT_TRUE(SMLoginItemSetEnabled("io.velmora.mac-LoginItemHelper", true)) << "twice keeps one job";
    auto jobs = SMCopyAllJobDictionaries(kSMDomainUserLaunchd);
    ASSERT_TRUE(jobs);
    ASSERT_EQ(jobs->size(), 2u);
    EXPECT_EQ((*jobs)[0]["Label"], Object("other.job"));
    EXPECT_EQ((*jobs)[1]["Label"], Object("io.velmora.mac-LoginItemHelper"));
    EXPECT_EQ((*jobs)[1]["OnDemand"], Object(true));
    EXPECT_EQ(AutostartEntry::state("io.velmora.mac-LoginItemHelper"), AutostartEntry::State::Enabled);

    ASSERT_TRUE(SMLoginItemSetEnabled("io.velmora.mac-LoginItemHelper", false));
    EXPECT_EQ(SMCopyAllJobDictionaries(kSMDomainUserLaunchd)->size(), 1u);
    EXPECT_EQ(AutostartEntry::state("io.velmora.mac-LoginItemHelper"), AutostartEntry::State::Missing);
    EXPECT_TRUE(SMLoginItemSetEnabled("io.velmora.mac-LoginItemHelper", false)) << "off when off is fine";
}

TEST(SMLoginItemTest, DamagedJobListIsNeitherReadNorReplaced) {
    testsupport::TempHome home;
    testsupport::writeFile(smJobListPath(), "<plist><array><dict>");
    EXPECT_EQ(SMCopyAllJobDictionaries(kSMDomainUserLaunchd), std::nullopt);
    EXPECT_FALSE(SMLoginItemSetEnabled("helper", true));
    EXPECT_EQ(testsupport::readFile(smJobListPath()), "<plist><array><dict>");
    EXPECT_EQ(AutostartEntry::state("helper"), AutostartEntry::State::Missing);

    ASSERT_TRUE(smWriteJobListForTesting(Object(Object::Dict{{"Label", "not a list"}})));
    EXPECT_EQ(SMCopyAllJobDictionaries(kSMDomainUserLaunchd), std::nullopt);
}

} // namespace
