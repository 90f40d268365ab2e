// The install UUID against the real installations component and its stand-in service: it is made
// once, kept across launches, and replaced exactly when the installation ID changes.
#include "core/TSRApp.h"
#include "core/TSRClassRegistry.h"
#include "core/TSRComponentContainer.h"
#include "core/TSROptions.h"
#include "crash/report/CRWInstallIdentifierModel.h"
#include "installations/TSRInstallations.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "promises/TPRPromiseFunctions.h"
#include "standin/StandinServer.h"
#include "tests/crash/report/ReportTestSupport.h"
#include "tests/support/WaitFor.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

class InstallIdentifierTest : public reporttest::ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        plat::UserDefaults::resetForTesting();
        const int port = server_.start(0);
        setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
        reset();
        TSRInstallations::registerClass();
        auto options =
            TSROptions::initWithTesseraAppID("1:111122223333:ios:f00dcafe12345678", "111122223333");
        options->setAPIKey("ATestKeyForTheVelmoraCoreTests-01234567");
        options->setProjectID("velmora-test");
        TSRApp::configureWithOptions(options);
        installations_ = TSRInstallations::installations();
    }
    void TearDown() override {
        EXPECT_TRUE(TPRWaitForPromisesWithTimeout(testsupport::kPatience.count()));
        installations_.reset();
        reset();
        server_.stop();
        setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
        plat::UserDefaults::resetForTesting();
        ReportTest::TearDown();
    }
    static void reset() {
        TSRApp::resetForTesting();
        TSRComponentContainer::resetRegistrantsForTesting();
        TSRClassRegistry::shared().resetForTesting();
    }

    struct Rotation {
        bool rotated = false;
        std::string installationID, authToken;
    };
    // Runs a rotation on a worker thread, as the uploader does, while this (main) thread serves the
    // component's completions. The rotation waits for the component with the suite's patience, not
    // its own ten seconds: what a test checks comes from the answers, never from the wait giving up.
    Rotation rotate(CRWInstallIdentifierModel& model) {
        Rotation result;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            result.rotated = model.regenerateInstallIDIfNeededWithBlock(
                [&](const std::string& id, const std::string& token) {
                    result.installationID = id;
                    result.authToken = token;
                },
                testsupport::kPatience);
            done = true;
        });
        EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return done.load(); }, 2 * testsupport::kPatience));
        worker.join();
        return result;
    }
    std::string installationID() {
        std::optional<std::string> id;
        installations_->installationIDWithCompletion(
            [&](auto identifier, auto) { id = identifier.value_or("<error>"); });
        EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return id.has_value(); }, testsupport::kPatience));
        return id.value_or("");
    }
    void deleteInstallation() {
        bool deleted = false;
        installations_->deleteWithCompletion([&](auto error) {
            EXPECT_FALSE(error);
            deleted = true;
        });
        ASSERT_TRUE(plat::RunLoop::main().runUntil([&] { return deleted; }, testsupport::kPatience));
    }

    standin::StandinServer server_;
    std::shared_ptr<TSRInstallations> installations_;
};

TEST_F(InstallIdentifierTest, TheUUIDRotatesExactlyWhenTheInstallationIDChanges) {
    CRWUserDefaults& defaults = CRWUserDefaults::standardUserDefaults();
    defaults.setString("legacy", CRWLegacyInstallIDKey);
    CRWInstallIdentifierModel model(installations_);
    const std::string first = model.installID();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(logged("Generating Install ID"));
    EXPECT_EQ(defaults.stringForKey(CRWInstallUUIDKey), first);

    // The first ID ever seen is only remembered.
    const Rotation seen = rotate(model);
    EXPECT_FALSE(seen.rotated);
    EXPECT_EQ(seen.installationID, installationID());
    EXPECT_FALSE(seen.authToken.empty());
    EXPECT_EQ(model.installID(), first);
    EXPECT_TRUE(defaults.objectForKey(CRWLegacyInstallIDKey).isAbsent());
    // The same ID again changes nothing.
    EXPECT_FALSE(rotate(model).rotated);
    EXPECT_EQ(model.installID(), first);

    // A new installation has a new ID: the UUID follows, once.
    deleteInstallation();
    const Rotation changed = rotate(model);
    EXPECT_TRUE(changed.rotated);
    EXPECT_NE(changed.installationID, seen.installationID);
    const std::string second = model.installID();
    EXPECT_NE(second, first);
    EXPECT_TRUE(logged("Rotated Crashwatch Install UUID because Tessera Install ID changed"));
    EXPECT_FALSE(rotate(model).rotated);
    EXPECT_EQ(model.installID(), second);

    // The next launch starts from the stored UUID and hash.
    CRWUserDefaults::resetStandardUserDefaultsForTesting();
    CRWInstallIdentifierModel relaunched(installations_);
    EXPECT_EQ(relaunched.installID(), second);
    EXPECT_FALSE(rotate(relaunched).rotated);
}

TEST_F(InstallIdentifierTest, FailuresOnlyLogAndKeepTheUUID) {
    CRWUserDefaults defaults(home_->path() / "defaults");
    CRWInstallIdentifierModel model(nullptr, defaults);
    const std::string uuid = model.installID();
    EXPECT_FALSE(model.rotateCrashwatchInstallUUIDWithIID(std::nullopt, plat::Error("domain", 1)));
    EXPECT_TRUE(logged("Failed to get Tessera legacy identity:"));
    EXPECT_FALSE(model.rotateCrashwatchInstallUUIDWithIID(std::string(), std::nullopt));
    EXPECT_TRUE(logged("Tessera legacy identity was empty when checked for changes"));
    EXPECT_TRUE(defaults.objectForKey(CRWInstallationIDHashKey).isAbsent());
    EXPECT_FALSE(model.rotateCrashwatchInstallUUIDWithIID(std::string("fid-1"), std::nullopt));
    // SHA-256 of the ID's bytes, lower-case hex.
    EXPECT_EQ(defaults.stringForKey(CRWInstallationIDHashKey),
              "133379ce1b805f38e2e8dc5a121f9fd5675422e9ce926e96c5333bdac0f25258");
    EXPECT_EQ(model.installID(), uuid);
    EXPECT_TRUE(model.rotateCrashwatchInstallUUIDWithIID(std::string("fid-2"), std::nullopt));
    EXPECT_NE(model.installID(), uuid);
    // Without a component nothing arrives; the block still runs with empty texts.
    bool called = false;
    EXPECT_FALSE(
        model.regenerateInstallIDIfNeededWithBlock([&](const std::string& id, const std::string& token) {
            called = true;
            EXPECT_EQ(id, "");
            EXPECT_EQ(token, "");
        }));
    EXPECT_TRUE(called);
}

TEST_F(InstallIdentifierTest, ASilentComponentTimesOutAndTheUploadGoesOn) {
    CRWInstallIdentifierModel model(installations_);
    // From the main thread the completions cannot arrive while it waits.
    bool called = false;
    EXPECT_FALSE(model.regenerateInstallIDIfNeededWithBlock(
        [&](const std::string& id, const std::string& token) {
            called = true;
            EXPECT_EQ(id, "");
            EXPECT_EQ(token, "");
        },
        std::chrono::milliseconds(200)));
    EXPECT_TRUE(called);
    EXPECT_TRUE(logged("Crashwatch timed out while checking for Tessera Installation ID"));
    // The late answers still land safely once the main queue turns.
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(300));
}

} // namespace
