// The crash reporter's settings: defaults, the cache and its expiry, damaged caches, and the
// download against the stand-in with the request it makes.
#include "crash/manager/CRWSettings.h"
#include "crash/manager/CRWSettingsManager.h"
#include "standin/StandinServer.h"
#include "tests/support/RootInUserNamespace.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <unistd.h>

namespace {

[[maybe_unused]] ::testing::Environment* const bundle = testsupport::addTestBundleEnvironment();

constexpr double kNow = 800000000.0;

class SettingsTest : public ::testing::Test {
protected:
    std::shared_ptr<CRWSettings> makeSettings(std::string instance = "a1") {
        return std::make_shared<CRWSettings>(
            folder.string(), std::make_shared<CRWApplicationIdentifierModel>(
                                 std::map<std::string, std::string>{{"x86_64", std::move(instance)}}));
    }
    void writeCache(const std::string& document, const std::string& appID, double createdAt,
                    const std::string& instance = "a1") {
        testsupport::writeFile(folder / "settings.json", document);
        auto settings = makeSettings(instance);
        settings->cacheSettingsWithTesseraAppID(appID, createdAt);
    }
    static bool gone(const std::filesystem::path& path) {
        return testsupport::waitUntil([&] { return !std::filesystem::exists(path); });
    }

    testsupport::TempHome home;
    std::filesystem::path folder = home.path() / "settings";
};

TEST_F(SettingsTest, WithoutACacheEveryValueIsItsDefaultAndTheCacheCountsAsExpired) {
    auto settings = makeSettings();
    settings->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_TRUE(settings->isCacheExpired());
    EXPECT_EQ(settings->cacheDurationSeconds(), 3600u);
    EXPECT_TRUE(settings->collectReportsEnabled());
    EXPECT_TRUE(settings->customExceptionsEnabled());
    EXPECT_FALSE(settings->metricKitCollectionEnabled());
    EXPECT_EQ(settings->logBufferSize(), 64000u);
    EXPECT_EQ(settings->maxCustomExceptions(), 8u);
    EXPECT_EQ(settings->maxCustomKeys(), 64u);
    EXPECT_DOUBLE_EQ(settings->onDemandUploadRate(), 10.0);
    EXPECT_DOUBLE_EQ(settings->onDemandBackoffBase(), 1.5);
    EXPECT_EQ(settings->onDemandBackoffStepDuration(), 6u);
}

TEST_F(SettingsTest, AFreshCacheIsUsedAndExpiresByTimeBuildOrVersion) {
    writeCache(
        R"({"cache_duration":100,"features":{"collect_reports":false},"session":{"max_custom_key_value_pairs":"12"}})",
        "1:2", kNow);
    auto fresh = makeSettings();
    fresh->reloadFromCacheWithTesseraAppID("1:2", kNow + 100);
    EXPECT_FALSE(fresh->isCacheExpired());
    EXPECT_FALSE(fresh->collectReportsEnabled());
    EXPECT_EQ(fresh->maxCustomKeys(), 12u);

    auto late = makeSettings();
    late->reloadFromCacheWithTesseraAppID("1:2", kNow + 101);
    EXPECT_TRUE(late->isCacheExpired());
    // Expired, but still what the crash reporter goes by until a new document arrives.
    EXPECT_FALSE(late->collectReportsEnabled());

    auto newBuild = makeSettings("b2");
    newBuild->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_TRUE(newBuild->isCacheExpired());
    EXPECT_TRUE(std::filesystem::exists(folder / "settings.json"));
}

TEST_F(SettingsTest, ZeroCacheDurationExpiresOnceTheClockPassesTheFetch) {
    writeCache(R"({"cache_duration":0})", "1:2", kNow);
    auto same = makeSettings();
    same->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_FALSE(same->isCacheExpired());
    auto after = makeSettings();
    after->reloadFromCacheWithTesseraAppID("1:2", kNow + 1);
    EXPECT_TRUE(after->isCacheExpired());
}

TEST_F(SettingsTest, ACacheForAnotherAppOrADamagedCacheIsDeleted) {
    writeCache(R"({"features":{"collect_reports":false}})", "other-app", kNow);
    auto settings = makeSettings();
    settings->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_TRUE(settings->isCacheExpired());
    EXPECT_TRUE(settings->collectReportsEnabled());
    EXPECT_TRUE(gone(folder / "settings.json"));
    EXPECT_TRUE(gone(folder / "cache-key.json"));

    testsupport::writeFile(folder / "settings.json", "{not json");
    testsupport::writeFile(folder / "cache-key.json", R"({"tessera_app_id":"1:2"})");
    settings->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_TRUE(gone(folder / "settings.json"));
    EXPECT_TRUE(gone(folder / "cache-key.json"));

    testsupport::writeFile(folder / "settings.json", "{}");
    settings->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_TRUE(settings->isCacheExpired()) << "a document without its cache key is not trusted";
    EXPECT_TRUE(gone(folder / "settings.json"));
}

// A write of the cache that was killed leaves its temporary file; loading the cache sweeps it, but
// not one that a writer still holds, nor another user's.
TEST_F(SettingsTest, LoadingSweepsTemporaryFilesOfKilledWritesOnly) {
    if (testsupport::rerunAsRootInUserNamespace()) return; // plants a file of another user
    const std::filesystem::path stale = folder / ".cache-key.json.tmp-Aa1Bb2";
    const std::filesystem::path live = folder / ".cache-key.json.tmp-Cc3Dd4";
    const std::filesystem::path theirs = folder / ".settings.json.tmp-Ee5Ff6";
    testsupport::plantTemporaryFile(stale, "{\"created_at\":", false);
    const int held = testsupport::plantTemporaryFile(live, "{\"created_at\":", true);
    testsupport::plantAsAnotherUser(theirs, "theirs", 0600);
    makeSettings()->reloadFromCacheWithTesseraAppID("1:2", kNow);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_EQ(testsupport::readFile(theirs), "theirs");
    ::close(held);
}

TEST_F(SettingsTest, ValuesOfTheWrongShapeFallBackInsteadOfFailing) {
    auto settings = makeSettings();
    ASSERT_TRUE(settings->loadSettingsData(
        R"({"cache_duration":-5,"features":{"collect_reports":"no","collect_metric_kit":"Yes"},)"
        R"("session":[1],"on_demand_upload_rate_per_minute":null,"on_demand_backoff_base":"2.5",)"
        R"("on_demand_backoff_step_duration_seconds":1e300})"));
    EXPECT_EQ(settings->cacheDurationSeconds(), 0u);
    EXPECT_FALSE(settings->collectReportsEnabled());
    EXPECT_TRUE(settings->metricKitCollectionEnabled());
    EXPECT_EQ(settings->maxCustomKeys(), 64u);
    EXPECT_DOUBLE_EQ(settings->onDemandUploadRate(), 10.0);
    EXPECT_DOUBLE_EQ(settings->onDemandBackoffBase(), 2.5);
    EXPECT_EQ(settings->onDemandBackoffStepDuration(), UINT32_MAX);
    EXPECT_FALSE(settings->loadSettingsData("[]"));
}

class SettingsDownloadTest : public SettingsTest {
protected:
    void SetUp() override {
        server.start();
        setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    }
    void TearDown() override { setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1); }

    std::optional<plat::Error> fetch(const std::shared_ptr<CRWSettings>& settings) {
        auto manager = std::make_shared<CRWSettingsManager>(
            settings->appIDModelForTesting(), [] { return std::string("inst-uuid"); }, settings,
            "1:42:mac:9f");
        std::promise<std::optional<plat::Error>> done;
        manager->setFetchObserver([&](const std::optional<plat::Error>& error) { done.set_value(error); });
        manager->beginSettingsWithTesseraAppId("1:42:mac:9f", CRWDataCollectionToken::validToken());
        auto future = done.get_future();
        EXPECT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        return future.get();
    }

    standin::StandinServer server;
};

TEST_F(SettingsDownloadTest, StoresAndCachesTheDocumentWithTheRequestItDescribes) {
    server.crashSettings().setDocument(R"({"cache_duration":60,"features":{"collect_reports":false}})");
    auto settings = makeSettings();
    EXPECT_FALSE(fetch(settings));
    EXPECT_FALSE(settings->isCacheExpired());
    EXPECT_FALSE(settings->collectReportsEnabled());
    EXPECT_EQ(testsupport::readFile(folder / "settings.json"), server.crashSettings().document());
    auto key = settings->loadCacheKey();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->at("tessera_app_id").string(), "1:42:mac:9f");

    auto requests = server.crashSettings().requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/settings/v1/platforms/mac/apps/1:42:mac:9f/settings");
    EXPECT_EQ(requests[0].query.rfind("build_version=", 0), 0u);
    EXPECT_NE(requests[0].query.find("&instance=" + settings->appIDModelForTesting()->buildInstanceID() +
                                     "&source=1"),
              std::string::npos);
    auto header = [&](const std::string& name) {
        for (const auto& [key, value] : requests[0].headers)
            if (key == name) return value;
        return std::string("<absent>");
    };
    EXPECT_EQ(header("Accept"), "application/json");
    EXPECT_EQ(header("X-Crashwatch-Installation-ID"), "inst-uuid");
    EXPECT_EQ(header("X-Crashwatch-Tessera-App-Id"), "1:42:mac:9f");
    EXPECT_EQ(header("X-Crashwatch-Developer-Token"), "b7e3a91c4d0f26585c8e1a3b0d9f4c72e6a15b38");
    EXPECT_EQ(header("User-Agent").rfind("com.tessera.crashwatch.mac/", 0), 0u);
}

TEST_F(SettingsDownloadTest, AFailedDownloadLeavesTheOldCacheAlone) {
    writeCache(R"({"features":{"collect_reports":false}})", "1:42:mac:9f", kNow);
    std::string before = testsupport::readFile(folder / "cache-key.json");
    server.crashSettings().setFault(standin::CrashSettingsFault::NotFound);
    auto settings = makeSettings();
    auto error = fetch(settings);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo.at("status_code").number().int64Value(), 404);
    server.crashSettings().setFault(standin::CrashSettingsFault::NonJson);
    auto html = fetch(settings);
    ASSERT_TRUE(html);
    EXPECT_EQ(html->code, -4);
    EXPECT_EQ(testsupport::readFile(folder / "cache-key.json"), before);
    EXPECT_EQ(testsupport::readFile(folder / "settings.json"), R"({"features":{"collect_reports":false}})");
}

} // namespace
