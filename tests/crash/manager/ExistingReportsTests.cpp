// Reports left by earlier runs: the newest four with events are kept and the rest removed at
// launch; the report manager deletes them all when the cached settings say reports are not
// collected, and a fresh settings cache makes no settings request. A report is sent once, whatever
// another user left in its folder.
#include "crash/manager/CRWContextManager.h"
#include "crash/manager/CRWExistingReportManager.h"
#include "crash/manager/CRWReportManager.h"
#include "standin/StandinServer.h"
#include "tests/crash/manager/WireFields.h"
#include "tests/support/RootInUserNamespace.h"
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
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

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

// A storage that takes every event at once and keeps its bytes: one kept event is one upload.
class KeepingStorage final : public transporttest::NullStorage {
public:
    void storeEvent(std::shared_ptr<TTREvent> event, TTRStoreCompletion completion) override {
        {
            std::lock_guard guard(mutex);
            const std::optional<plat::Data>& bytes = event->serializedDataObjectBytes();
            payloads.emplace_back(bytes ? std::string(bytes->begin(), bytes->end()) : std::string());
        }
        if (completion) completion(true, std::nullopt);
    }
    std::vector<std::string> kept() {
        std::lock_guard guard(mutex);
        return payloads;
    }

private:
    std::mutex mutex;
    std::vector<std::string> payloads;
};

// The names of the files in a report's payload.
std::set<std::string> payloadFileNames(const std::string& payload) {
    std::set<std::string> names;
    const auto report = crashtest::lengthDelimitedFields(payload);
    if (!report.count(10)) return names;
    for (const auto& [number, file] : crashtest::lengthDelimitedFields(report.find(10)->second))
        if (number == 1) names.insert(crashtest::lengthDelimitedFields(file).find(1)->second);
    return names;
}

// One launch of the crash reporter over the folders the earlier ones left: it collects the reports
// of earlier runs and sends them (urgently, as after a crash), and ends once every event it sent
// was stored and the stored reports removed.
void launchSending(const std::shared_ptr<KeepingStorage>& storage) {
    auto fileManager = std::make_shared<CRWFileManager>();
    ASSERT_TRUE(fileManager->createReportDirectories());
    auto appIDModel = std::make_shared<CRWApplicationIdentifierModel>(
        std::map<std::string, std::string>{{"x86_64", "0123"}});
    auto settings = std::make_shared<CRWSettings>(fileManager->settingsDirectoryPath(), appIDModel);
    auto registrar = TTRRegistrar::makeRegistrar();
    registrar->registerStorage(storage, 1002);
    std::shared_ptr<TTRApplicationProtocol> application(&TTRApplication::sharedApplication(),
                                                        [](TTRApplicationProtocol*) {});
    auto transformer = std::make_shared<TTRTransformer>(application, registrar);
    auto data = std::make_shared<CRWManagerData>(
        "1:42:mac:9f", TTRTransport::initWithMappingID("2101", {}, 1002, transformer), nullptr, fileManager,
        [] { return true; }, settings, nullptr, appIDModel);
    auto existing =
        std::make_shared<CRWExistingReportManager>(data, std::make_shared<CRWReportUploader>(data));
    existing->collectExistingReports();
    existing->sendUnsentReportsWithToken(CRWDataCollectionToken::validToken(), true);
    data->operationQueue().waitUntilAllOperationsAreFinished();
    // The storage answers on the transformer's queue, and the sent report is removed in that answer.
    transformer->eventWritingQueue().sync([] {});
}

// Another user's file, link or empty folder, left in a crashed run's report folder (or in a report
// packaged before) while it was open to them: the next three launches send the report once, and
// their entry stays where it was, as it was.
TEST_F(ExistingReportsTest, AReportIsSentOnceWhateverAnotherUserLeftInItsFolder) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants entries of another user
    const fs::path mine = home.path() / "Documents" / "mine.txt";
    testsupport::writeFile(mine, "mine");
    const std::pair<const char*, std::function<void(const fs::path&)>> plants[] = {
        {"file",
         [](const fs::path& at) {
             testsupport::plantAsAnotherUser(at / "theirs.crwrecord", "theirs", 0644);
         }},
        {"link",
         [&](const fs::path& at) {
             fs::create_symlink(mine, at / "theirs.crwrecord");
             ASSERT_EQ(::lchown((at / "theirs.crwrecord").c_str(), testsupport::kAnotherUser,
                                testsupport::kAnotherUser),
                       0);
         }},
        {"empty folder",
         [](const fs::path& at) {
             fs::create_directory(at / "theirs.crwrecord");
             ASSERT_EQ(::chown((at / "theirs.crwrecord").c_str(), testsupport::kAnotherUser,
                               testsupport::kAnotherUser),
                       0);
         }},
    };
    for (const bool packaged : {false, true}) {
        for (const auto& [kind, plant] : plants) {
            SCOPED_TRACE(std::string(kind) +
                         (packaged ? " in a packaged report" : " in a crashed run's report"));
            fs::remove_all(fileManager->versionedPath());
            ASSERT_TRUE(fileManager->createReportDirectories());
            fs::path report = makeReport("crashed", 1000, true);
            if (packaged) {
                fs::rename(report, fs::path(fileManager->preparedPath()) / "crashed");
                report = fs::path(fileManager->preparedPath()) / "crashed";
            }
            plant(report);
            fs::permissions(report, fs::perms(0700));
            const fs::path theirs = report / "theirs.crwrecord";
            const std::string before = testsupport::fileFacts(theirs);

            auto storage = std::make_shared<KeepingStorage>();
            for (int launch = 1; launch <= 3; ++launch)
                launchSending(storage);

            const std::vector<std::string> payloads = storage->kept();
            EXPECT_EQ(payloads.size(), 1u) << "one upload in three launches";
            if (payloads.empty()) continue;
            const std::set<std::string> names = payloadFileNames(payloads.front());
            EXPECT_TRUE(names.count("metadata.crwrecord") && names.count("signal.crwrecord"));
            EXPECT_FALSE(names.count("theirs.crwrecord")) << "another user's entry is not the user's report";
            EXPECT_EQ(testsupport::fileFacts(theirs), before);
            EXPECT_TRUE(fileManager->processingPathContents().empty());
            for (const std::string& left : fileManager->preparedPathContents())
                EXPECT_EQ(fs::path(left), report) << "only the folder that holds their entry is left";
            for (const std::string& left : fileManager->activePathContents())
                EXPECT_EQ(fs::path(left), report) << "only the folder that holds their entry is left";
            std::error_code gone;
            for (const auto& entry : fs::directory_iterator(report, gone))
                EXPECT_EQ(entry.path(), theirs) << "nothing of the sent report is left";
        }
    }
}

} // namespace
