// Reports left by earlier runs: the newest four with events are kept and the rest removed at
// launch; the report manager deletes them all when the cached settings say reports are not
// collected, and a fresh settings cache makes no settings request.
#include "crash/manager/CRWContextManager.h"
#include "crash/manager/CRWExistingReportManager.h"
#include "crash/manager/CRWReportManager.h"
#include "standin/StandinServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadState.h"
#include "tests/transport/NullStorage.h"
#include "transport/TTRApplication.h"
#include "transport/TTRRegistrar.h"
#include "transport/TTRTransformer.h"
#include "transport/TTRTransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

class ExistingReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fileManager = std::make_shared<CRWFileManager>();
        ASSERT_TRUE(fileManager->createReportDirectories());
        appIDModel = std::make_shared<CRWApplicationIdentifierModel>(
            std::map<std::string, std::string>{{"x86_64", "0123"}});
        settings = std::make_shared<CRWSettings>(fileManager->settingsDirectoryPath(), appIDModel);
        managerData = std::make_shared<CRWManagerData>(
            "1:42:mac:9f", TTRTransport::initWithMappingID("2101", {}, 1002), nullptr, fileManager,
            [] { return true; }, settings, nullptr, appIDModel);
        existing = std::make_shared<CRWExistingReportManager>(
            managerData, std::make_shared<CRWReportUploader>(managerData));
    }

    // A report folder of an earlier run that started at `startedAt`, with a signal record or none.
    fs::path makeReport(const std::string& id, int startedAt, bool withEvent) {
        fs::path folder = fs::path(fileManager->activePath()) / id;
        testsupport::writeFile(folder / "metadata.crwrecord", R"({"identity":{"session_id":")" + id +
                                                                  R"(","started_at":)" +
                                                                  std::to_string(startedAt) + "}}\n");
        if (withEvent)
            testsupport::writeFile(folder / "signal.crwrecord", R"({"signal":{"number":11}})"
                                                                "\n");
        return folder;
    }
    void drainWorkQueue() { managerData->operationQueue().waitUntilAllOperationsAreFinished(); }

    testsupport::TempHome home;
    std::shared_ptr<CRWFileManager> fileManager;
    std::shared_ptr<CRWApplicationIdentifierModel> appIDModel;
    std::shared_ptr<CRWSettings> settings;
    std::shared_ptr<CRWManagerData> managerData;
    std::shared_ptr<CRWExistingReportManager> existing;
};

TEST_F(ExistingReportsTest, SixReportsAreCappedToTheNewestFourAndEmptyOnesRemoved) {
    std::vector<fs::path> reports;
    for (int i = 0; i < 6; ++i)
        reports.push_back(makeReport("run" + std::to_string(i), 1000 + i, true));
    fs::path empty = makeReport("empty", 2000, false);
    existing->collectExistingReports();
    drainWorkQueue();

    EXPECT_EQ(existing->unsentReportsCount(), 4u);
    EXPECT_EQ(existing->existingUnemptyActiveReportPaths().front(), reports[5].string()) << "newest first";
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_FALSE(fs::exists(reports[0]));
    EXPECT_FALSE(fs::exists(reports[1]));
    for (int i = 2; i < 6; ++i)
        EXPECT_TRUE(fs::exists(reports[i]));
    ASSERT_NE(existing->newestUnsentReport(), nullptr);
}

TEST_F(ExistingReportsTest, ReportsAreDeletedWhenTheSettingsDoNotCollectThem) {
    fs::path kept = makeReport("kept", 1000, true);
    fs::path prepared = fs::path(fileManager->preparedPath()) / "old";
    testsupport::writeFile(prepared / "metadata.crwrecord", "{}\n");
    testsupport::writeFile(fs::path(fileManager->settingsFilePath()),
                           R"({"features":{"collect_reports":false}})");
    settings->cacheSettingsWithTesseraAppID("1:42:mac:9f", CRWSettings::currentTimestamp());
    ASSERT_FALSE(settings->collectReportsEnabled());

    existing->collectExistingReports();
    auto arbiter = std::make_shared<CRWDataCollectionArbiter>(nullptr, plat::Object::Dict{});
    auto manager = std::make_shared<CRWReportManager>(managerData, existing, arbiter);
    manager->beginReportUploadsWithToken(CRWDataCollectionToken::validToken(), false);
    drainWorkQueue();
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(prepared));
}

TEST_F(ExistingReportsTest, AFreshSettingsCacheMakesNoRequest) {
    standin::StandinServer server;
    server.start();
    setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    testsupport::writeFile(fs::path(fileManager->settingsFilePath()), R"({"cache_duration":3600})");
    settings->cacheSettingsWithTesseraAppID("1:42:mac:9f", CRWSettings::currentTimestamp());

    auto arbiter = std::make_shared<CRWDataCollectionArbiter>(nullptr, plat::Object::Dict{});
    auto manager = std::make_shared<CRWReportManager>(managerData, existing, arbiter);
    ASSERT_FALSE(settings->isCacheExpired());
    manager->beginSettingsWithToken(CRWDataCollectionToken::validToken());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(server.crashSettings().requests().empty());
    setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
}

// A storage that takes events and never answers, as a transport stuck behind a hung disk.
class SilentStorage final : public transporttest::NullStorage {
public:
    void storeEvent(std::shared_ptr<TTREvent>, TTRStoreCompletion) override { ++stores; }
    std::atomic<int> stores{0};
};

TEST_F(ExistingReportsTest, AnUrgentUploadTheTransportNeverAnswersGivesUpAndStaysPrepared) {
    auto registrar = TTRRegistrar::makeRegistrar();
    auto storage = std::make_shared<SilentStorage>();
    registrar->registerStorage(storage, 1002);
    std::shared_ptr<TTRApplicationProtocol> application(&TTRApplication::sharedApplication(),
                                                        [](TTRApplicationProtocol*) {});
    auto silentData = std::make_shared<CRWManagerData>(
        "1:42:mac:9f",
        TTRTransport::initWithMappingID("2101", {}, 1002,
                                        std::make_shared<TTRTransformer>(application, registrar)),
        nullptr, fileManager, [] { return true; }, settings, nullptr, appIDModel);
    CRWReportUploader uploader(silentData);
    uploader.setUrgentTimeoutForTesting(std::chrono::milliseconds(300));
    fs::path prepared = fs::path(fileManager->preparedPath()) / "stuck";
    testsupport::writeFile(prepared / "metadata.crwrecord", "{}\n");

    const auto started = std::chrono::steady_clock::now();
    uploader.uploadPackagedReportAtPath(prepared.string(), CRWDataCollectionToken::validToken(), true);
    const auto waited = std::chrono::steady_clock::now() - started;
    // It gave up at its own deadline: not before, and not when some other wait, far longer, ran out.
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, testsupport::kPatience);
    testsupport::waitUntil([&] { return storage->stores != 0; });
    EXPECT_EQ(storage->stores, 1) << "the event reached the transport's storage";
    EXPECT_TRUE(fs::exists(prepared / "metadata.crwrecord")) << "a later launch sends it";
}

} // namespace
