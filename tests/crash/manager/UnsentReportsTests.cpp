// Reports kept while crash collection is off: the one-per-run check hands the newest of them, and
// the host's send or delete decides their fate (or enabling collection sends them). Each path runs
// the report manager's real start-up and its uploads through the crash-report transport to the
// stand-in, whose received bodies are decoded here.
#include "core/TSRClassRegistry.h"
#include "crash/manager/CRWReportManager.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/report/CRWUserDefaults.h"
#include "platform/dispatch/RunLoop.h"
#include "standin/StandinServer.h"
#include "tests/support/TestSupport.h"
#include "transport/TTRTransport.h"
#include "transport/TTRTransportClasses.h"

#include "tests/crash/manager/CapturedLog.h"
#include "tests/crash/manager/WireFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

using ReportPromise = promises::Promise<std::shared_ptr<TSRCrashwatchReport>>;

class UnsentReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.start();
        setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
        TTRRegisterTransportClasses();
        TSRClassRegistry::shared().bootstrap();
        CRWReportManager::resetSettingsDownloadForTesting();
        CRWUserDefaults::resetStandardUserDefaultsForTesting();
        // Collection is off by the stored switch, as a user who declined would have it.
        CRWUserDefaults::standardUserDefaults().setInteger(2, CRWDataCollectionKey);
        CRWUserDefaults::standardUserDefaults().synchronize();
        // Seen as under a debugger, the crash context leaves the process's signal handling alone.
        CRWContextStartupHooks hooks;
        hooks.debuggerAttached = [] { return true; };
        CRWContextSetStartupHooks(hooks);

        fileManager = std::make_shared<CRWFileManager>();
        ASSERT_TRUE(fileManager->createReportDirectories());
        makeManager();
        ASSERT_FALSE(arbiter->isCrashwatchCollectionEnabled());
    }
    // A report manager as the component makes one, deciding with the stored switch as it is now.
    void makeManager() {
        auto appIDModel = std::make_shared<CRWApplicationIdentifierModel>(
            std::map<std::string, std::string>{{"x86_64", "0123"}});
        auto settings = std::make_shared<CRWSettings>(fileManager->settingsDirectoryPath(), appIDModel);
        managerData = std::make_shared<CRWManagerData>(
            "1:42:mac:9f", TTRTransport::initWithMappingID("2101", {}, 1002), nullptr, fileManager,
            [] { return false; }, settings, nullptr, appIDModel);
        existing = std::make_shared<CRWExistingReportManager>(
            managerData, std::make_shared<CRWReportUploader>(managerData));
        arbiter = std::make_shared<CRWDataCollectionArbiter>(nullptr, plat::Object::Dict{});
        manager = std::make_shared<CRWReportManager>(managerData, existing, arbiter);
    }
    void TearDown() override {
        // Releases a start-up still waiting for a decision, so nothing runs after the test.
        manager->deleteUnsentReports();
        EXPECT_TRUE(plat::RunLoop::main().runUntil([this] { return !startup.isPending(); },
                                                   std::chrono::seconds(30)));
        managerData->operationQueue().waitUntilAllOperationsAreFinished();
        plat::RunLoop::main().drain();
        CRWContextSetStartupHooks({});
        setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
    }

    // A crashed earlier run's report folder in "active", started at `startedAt`.
    fs::path makeReport(const std::string& id, int startedAt) {
        fs::path folder = fs::path(fileManager->activePath()) / id;
        testsupport::writeFile(folder / "metadata.crwrecord", R"({"identity":{"session_id":")" + id +
                                                                  R"(","started_at":)" +
                                                                  std::to_string(startedAt) + "}}\n");
        testsupport::writeFile(folder / "signal.crwrecord", "{\"signal\":{\"number\":11,\"time\":" +
                                                                std::to_string(startedAt + 5) + "}}\n");
        return folder;
    }
    void start() { startup = manager->startWithProfiling(); }
    template <typename T> bool settle(const promises::Promise<T>& promise, int seconds = 20) {
        return plat::RunLoop::main().runUntil([&] { return !promise.isPending(); },
                                              std::chrono::seconds(seconds));
    }
    // The ids (from their metadata) of the reports the stand-in received, once `count` arrived.
    std::vector<std::string> uploadedReportIDs(size_t count, int seconds = 30) {
        std::vector<std::string> ids;
        plat::RunLoop::main().runUntil(
            [&] {
                ids.clear();
                for (const auto& record : server.uploads().records()) {
                    if (record.target != 1002 || record.status != 200) continue;
                    for (auto& files : crashtest::uploadedReportFiles(record.body))
                        for (const char* id : {"old", "new", "only"})
                            if (files["metadata.crwrecord"].find("\"" + std::string(id) + "\"") !=
                                std::string::npos)
                                ids.push_back(id);
                }
                return ids.size() >= count;
            },
            std::chrono::seconds(seconds));
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    bool logged(const std::string& text) { return log.contains(text); }

    testsupport::TempHome home;
    standin::StandinServer server;
    std::shared_ptr<CRWFileManager> fileManager;
    std::shared_ptr<CRWManagerData> managerData;
    std::shared_ptr<CRWExistingReportManager> existing;
    std::shared_ptr<CRWDataCollectionArbiter> arbiter;
    std::shared_ptr<CRWReportManager> manager;
    promises::Promise<bool> startup{true};
    crashtest::CapturedLog log;
};

TEST_F(UnsentReportsTest, TheCheckHandsTheNewestReportAndASendUploadsThemAllOnce) {
    fs::path older = makeReport("old", 1000);
    fs::path newer = makeReport("new", 2000);
    start();

    ReportPromise check = manager->checkForUnsentReports();
    ASSERT_TRUE(settle(check));
    std::shared_ptr<TSRCrashwatchReport> report = check.value().value_or(nullptr);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->reportID(), "new");
    EXPECT_TRUE(report->hasCrash());
    // One check per run: the second answers none and says why.
    ReportPromise again = manager->checkForUnsentReports();
    ASSERT_TRUE(settle(again));
    EXPECT_EQ(again.value().value_or(report), nullptr);
    EXPECT_TRUE(
        logged("Either checkForUnsentReports or checkAndUpdateUnsentReports should be called once per "
               "execution."));

    // Nothing moves until the host decides.
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_TRUE(startup.isPending());
    EXPECT_TRUE(fs::exists(older) && fs::exists(newer));
    EXPECT_TRUE(server.uploads().records().empty());
    EXPECT_TRUE(server.crashSettings().requests().empty());

    promises::Promise<promises::Void> handled = manager->sendUnsentReports();
    EXPECT_EQ(manager->sendUnsentReports().asObjCPromise(), handled.asObjCPromise());
    ASSERT_TRUE(settle(handled, 60));
    ASSERT_TRUE(settle(startup));
    EXPECT_EQ(startup.value(), true);
    EXPECT_EQ(uploadedReportIDs(2), (std::vector<std::string>{"new", "old"}));
    EXPECT_FALSE(fs::exists(older));
    EXPECT_FALSE(fs::exists(newer));
    EXPECT_FALSE(server.crashSettings().requests().empty()) << "an expired cache is fetched for the send";
    // A later send changes nothing: each report went up once.
    manager->sendUnsentReports();
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(uploadedReportIDs(2).size(), 2u);
}

TEST_F(UnsentReportsTest, ADeleteRemovesEveryCollectedFolderUnsent) {
    fs::path active = makeReport("only", 1000);
    fs::path processing = fs::path(fileManager->processingPath()) / "half";
    fs::path prepared = fs::path(fileManager->preparedPath()) / "packed";
    testsupport::writeFile(processing / "metadata.crwrecord", "{}\n");
    testsupport::writeFile(prepared / "metadata.crwrecord", "{}\n");
    start();
    ReportPromise check = manager->checkForUnsentReports();
    ASSERT_TRUE(settle(check));
    ASSERT_NE(check.value().value_or(nullptr), nullptr);

    ASSERT_TRUE(settle(manager->deleteUnsentReports()));
    // The first decision stands.
    manager->sendUnsentReports();
    ASSERT_TRUE(settle(startup));
    EXPECT_FALSE(fs::exists(active));
    EXPECT_FALSE(fs::exists(processing));
    EXPECT_FALSE(fs::exists(prepared));
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_TRUE(server.uploads().records().empty());
    EXPECT_TRUE(server.crashSettings().requests().empty()) << "no settings are fetched for a delete";
    EXPECT_TRUE(logged("Deleting unsent reports."));
}

TEST_F(UnsentReportsTest, EnablingCollectionWhileTheActionIsAwaitedSends) {
    fs::path folder = makeReport("only", 1000);
    start();
    plat::RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(300));
    ASSERT_TRUE(startup.isPending());

    arbiter->setCrashwatchCollectionEnabled(true);
    ASSERT_TRUE(settle(startup, 60));
    EXPECT_EQ(uploadedReportIDs(1), std::vector<std::string>{"only"});
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(logged("Sending unsent reports."));
    // The report was known before collection was enabled.
    ReportPromise check = manager->checkForUnsentReports();
    ASSERT_TRUE(settle(check));
    ASSERT_NE(check.value().value_or(nullptr), nullptr);
    EXPECT_EQ(check.value().value()->reportID(), "only");
}

TEST_F(UnsentReportsTest, TheCheckAnswersNoneWithoutReportsAndWhenCollectionSendsThemAtStart) {
    start();
    ReportPromise none = manager->checkForUnsentReports();
    ASSERT_TRUE(settle(none));
    EXPECT_TRUE(none.value().has_value());
    EXPECT_EQ(none.value().value_or(nullptr), nullptr);
    ASSERT_TRUE(settle(manager->deleteUnsentReports()));
    ASSERT_TRUE(settle(startup));

    // With collection on, the reports go at start-up and the check has nothing left to hand.
    CRWUserDefaults::standardUserDefaults().setInteger(1, CRWDataCollectionKey);
    makeReport("only", 1000);
    makeManager();
    start();
    ReportPromise sent = manager->checkForUnsentReports();
    ASSERT_TRUE(settle(sent, 60));
    EXPECT_EQ(sent.value().value_or(std::make_shared<TSRCrashwatchReport>(nullptr)), nullptr);
    EXPECT_EQ(uploadedReportIDs(1), std::vector<std::string>{"only"});
}

} // namespace
