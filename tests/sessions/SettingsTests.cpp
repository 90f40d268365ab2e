// The session settings: the three sources and their order, the cache in user defaults and the
// rules by which it expires.
#include "tests/sessions/SessionsTestSupport.h"

#include "sessions/SessionsSettings.h"
#include "sessions/SettingsCache.h"

#include "core/TULUserDefaults.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/UserDefaults.h"

using namespace sestest;

namespace {

plat::Object::Dict document(const std::string& json) {
    return plat::JSONSerialization::jsonObject(json).dict();
}

std::shared_ptr<LocalOverrideSettings> overrides(std::optional<plat::Object::Dict> info) {
    return std::make_shared<LocalOverrideSettings>([info] { return info; });
}

class SettingsTest : public SessionsTest {
protected:
    void SetUp() override {
        SessionsTest::SetUp();
        cache_ = std::make_shared<SettingsCache>();
        downloader_ = std::make_shared<FakeDownloader>();
        remote_ = std::make_shared<RemoteSettings>(appInfo_, downloader_, cache_);
    }

    // Caches `json` as fetched `age` seconds before now_ for `appID` and `version`.
    void cacheDocument(const std::string& json, double age, const std::string& appID = kAppID,
                       const std::string& version = "1.0.0 (1)") {
        cache_->setCacheContent(document(json));
        cache_->setCacheKey(CacheKey{plat::Date{now_.secondsSince1970 - age}, appID, version});
    }

    SessionsSettings combined(std::optional<plat::Object::Dict> info) {
        return SessionsSettings(appInfo_, nullptr, std::make_shared<SDKDefaultSettings>(), overrides(info),
                                remote_, [this] { return now_; });
    }

    plat::Date now_{1'700'000'000};
    std::shared_ptr<ApplicationInfo> appInfo_ = makeAppInfo();
    std::shared_ptr<SettingsCache> cache_;
    std::shared_ptr<FakeDownloader> downloader_;
    std::shared_ptr<RemoteSettings> remote_;
};

TEST_F(SettingsTest, InfoOverridesComeFirstThenTheRemoteDocumentThenTheDefaults) {
    cacheDocument(
        R"({"app_health":{"sessions_enabled":true,"sampling_rate":0.25,"session_timeout_seconds":60}})", 0);
    SessionsSettings localWins = combined(plat::Object::Dict{{"TesseraSessionsEnabled", false},
                                                             {"TesseraSessionsSampleRate", 0.5},
                                                             {"TesseraSessionsTimeout", 90}});
    EXPECT_FALSE(localWins.sessionsEnabled());
    EXPECT_EQ(localWins.samplingRate(), 0.5);
    EXPECT_EQ(localWins.sessionTimeout(), 90);

    // Only the exact key spellings count, and only values of the right kind.
    SessionsSettings remoteWins = combined(plat::Object::Dict{{"TesseraSessionsSamplingRate", 0.5},
                                                              {"TesseraSessionsEnabled", "NO"},
                                                              {"TesseraSessionsTimeout", true}});
    EXPECT_TRUE(remoteWins.sessionsEnabled());
    EXPECT_EQ(remoteWins.samplingRate(), 0.25);
    EXPECT_EQ(remoteWins.sessionTimeout(), 60);

    // A document without "app_health" decides nothing: the defaults answer.
    cacheDocument(R"({"cache_duration":100,"sessions_enabled":false})", 0);
    SessionsSettings defaults = combined(std::nullopt);
    EXPECT_TRUE(defaults.sessionsEnabled());
    EXPECT_EQ(defaults.samplingRate(), 1.0);
    EXPECT_EQ(defaults.sessionTimeout(), 1800);

    // Values of the wrong kind in the document decide nothing either.
    cacheDocument(
        R"({"app_health":{"sessions_enabled":"false","sampling_rate":"0.5","session_timeout_seconds":[1]}})",
        0);
    EXPECT_FALSE(remote_->sessionsEnabled());
    EXPECT_FALSE(remote_->samplingRate());
    EXPECT_FALSE(remote_->sessionTimeout());
    cacheDocument(R"({"app_health":["sessions_enabled",false]})", 0);
    EXPECT_FALSE(remote_->sessionsEnabled());
}

TEST_F(SettingsTest, TheCacheKeepsTheDocumentAndItsKeyInUserDefaults) {
    CacheKey key{plat::Date::fromReferenceDate(720000000.5), kAppID, "1.0.0 (1)"};
    cache_->setCacheKey(key);
    plat::Object stored = TULUserDefaults::standardUserDefaults().objectForKey(kTSRSessionsCacheKeyKey);
    ASSERT_TRUE(stored.isData());
    EXPECT_EQ(
        plat::toString(stored.data()),
        R"j({"createdAt":720000000.5,"tesseraAppID":"1:111122223333:ios:f00dcafe12345678","appVersion":"1.0.0 (1)"})j");
    EXPECT_EQ(cache_->cacheKey(), key);

    // Another object over the same defaults, as the next launch has, reads the same cache.
    cacheDocument(R"({"app_health":{"sampling_rate":0.75}})", 0);
    plat::UserDefaults::resetForTesting();
    EXPECT_EQ(SettingsCache().cacheContent(), document(R"({"app_health":{"sampling_rate":0.75}})"));

    // An unreadable key is no key, and says why; so is the "null" an absent key is stored as.
    TULUserDefaults::standardUserDefaults().setObject(plat::Object(plat::toData(R"({"createdAt":"x"})")),
                                                      kTSRSessionsCacheKeyKey);
    EXPECT_FALSE(cache_->cacheKey());
    EXPECT_TRUE(
        logged("[Settings] Decoding CacheKey failed with error: \"createdAt\" is missing or not a number"));
    cache_->setCacheKey(std::nullopt);
    EXPECT_FALSE(cache_->cacheKey());

    cache_->removeCache();
    EXPECT_TRUE(TULUserDefaults::standardUserDefaults().objectForKey(kTSRSessionsCacheKeyKey).isAbsent());
    EXPECT_TRUE(cache_->cacheContent().empty());
}

TEST_F(SettingsTest, NullsAndOtherValuesAPropertyListCannotHoldAreLeftOutOfTheStoredDocument) {
    const std::string json =
        R"({"app_health":{"sessions_enabled":false,"sampling_rate":null,"limits":[1,null,{"inner":null}]},)"
        R"("cache_duration":null,"nul":"a\u0000b","huge":18446744073709551615,"key\u0000":1})";
    cache_->setCacheContent(document(json));
    plat::UserDefaults::resetForTesting();
    EXPECT_EQ(cache_->cacheContent(),
              document(R"({"app_health":{"sessions_enabled":false,"limits":[1,{}]}})"));
    EXPECT_EQ(remote_->sessionsEnabled(), false);

    // Nesting past the property list's depth is cut where it becomes too deep; the rest stays.
    std::string deep = R"({"app_health":{"sampling_rate":0.5},"deep":)";
    for (int i = 0; i < 300; ++i)
        deep += "[";
    for (int i = 0; i < 300; ++i)
        deep += "]";
    cache_->setCacheContent(document(deep + "}"));
    EXPECT_EQ(remote_->samplingRate(), 0.5);
}

TEST_F(SettingsTest, TheCacheExpiresByItsDurationAndWhenTheAppIDOrVersionChanges) {
    // A day's duration, cached two hours ago: fresh, so no fetch.
    cacheDocument(R"({"cache_duration":86400,"app_health":{}})", 7200);
    EXPECT_FALSE(remote_->isCacheExpired(now_));
    remote_->fetchAndCacheSettings(now_);
    EXPECT_EQ(downloader_->fetches.load(), 0);
    EXPECT_TRUE(logged("[Settings] Cache is not expired, no fetch will be made."));

    // Without a duration the hour applies; expiry by age keeps the old document until replaced.
    cacheDocument(R"({"app_health":{}})", 3600);
    EXPECT_FALSE(remote_->isCacheExpired(now_));
    cacheDocument(R"({"app_health":{}})", 3600.5);
    EXPECT_TRUE(remote_->isCacheExpired(now_));
    EXPECT_TRUE(logged("[Settings] Cache TTL expired"));
    EXPECT_FALSE(cache_->cacheContent().empty());
    // A duration that is no number counts as none.
    cacheDocument(R"({"cache_duration":"86400","app_health":{}})", 7200);
    EXPECT_TRUE(remote_->isCacheExpired(now_));

    // Another application version expires it, but keeps it until a fetch replaces it.
    cacheDocument(R"({"cache_duration":86400})", 10, kAppID, "0.9.0 (1)");
    EXPECT_TRUE(remote_->isCacheExpired(now_));
    EXPECT_TRUE(logged("[Settings] Cache expired because app version changed"));
    EXPECT_FALSE(cache_->cacheContent().empty());

    // Another app id removes the cache before the new fetch.
    cacheDocument(R"({"cache_duration":86400})", 10, "1:999:ios:other");
    EXPECT_TRUE(remote_->isCacheExpired(now_));
    EXPECT_TRUE(logged("[Settings] Cache expired because Tessera App ID changed"));
    EXPECT_TRUE(cache_->cacheContent().empty());
    EXPECT_FALSE(cache_->cacheKey());

    // A document without a readable key is removed too.
    cache_->setCacheContent(document(R"({"cache_duration":86400})"));
    EXPECT_TRUE(remote_->isCacheExpired(now_));
    EXPECT_TRUE(logged("[Settings] Could not load settings cache key"));
    EXPECT_TRUE(cache_->cacheContent().empty());
}

TEST_F(SettingsTest, AFetchReplacesTheCacheOnlyWhenItSucceeds) {
    downloader_->result = document(R"({"app_health":{"sampling_rate":0.5},"cache_duration":600})");
    remote_->fetchAndCacheSettings(now_);
    EXPECT_EQ(downloader_->fetches.load(), 1);
    EXPECT_EQ(remote_->samplingRate(), 0.5);
    EXPECT_EQ(cache_->cacheKey(), (CacheKey{now_, kAppID, "1.0.0 (1)"}));
    EXPECT_FALSE(remote_->isCacheExpired(plat::Date{now_.secondsSince1970 + 600}));
    EXPECT_TRUE(remote_->isCacheExpired(plat::Date{now_.secondsSince1970 + 600.5}));

    downloader_->result = SettingsDownloaderError{SettingsDownloaderError::Kind::URLError, "Invalid URL"};
    remote_->fetchAndCacheSettings(plat::Date{now_.secondsSince1970 + 601});
    EXPECT_EQ(downloader_->fetches.load(), 2);
    EXPECT_TRUE(logged("[Settings] Fetching newest settings failed with error: URLError(\"Invalid URL\")"));
    EXPECT_EQ(remote_->samplingRate(), 0.5);
    EXPECT_EQ(cache_->cacheKey(), (CacheKey{now_, kAppID, "1.0.0 (1)"}));

    // The combined settings refresh the remote part at their clock's date.
    now_ = plat::Date{now_.secondsSince1970 + 10'000};
    downloader_->result = document(R"({"app_health":{"sampling_rate":0.125}})");
    SessionsSettings settings = combined(std::nullopt);
    settings.updateSettings();
    EXPECT_EQ(settings.samplingRate(), 0.125);
    EXPECT_EQ(cache_->cacheKey()->createdAt, now_);
}

} // namespace
