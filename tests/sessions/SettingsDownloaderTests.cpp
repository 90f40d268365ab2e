// The settings download against the stand-in's settings service: the request it sends, what it
// makes of the replies, and what reaches the cache.
#include "tests/sessions/SessionsTestSupport.h"

#include "sessions/RemoteSettings.h"
#include "sessions/SettingsCache.h"
#include "sessions/SettingsDownloader.h"
#include "sessions/TSRSESGetSysctlEntry.h"

#include "core/TSRVersion.h"
#include "platform/foundation/URL.h"
#include "standin/StandinServer.h"
#include "tests/support/WireRecorder.h"
#include "utilities/TULAppEnvironmentUtil.h"

#include <condition_variable>
#include <cstdlib>

using namespace sestest;

namespace {

class SettingsDownloaderTest : public SessionsTest {
protected:
    void SetUp() override {
        SessionsTest::SetUp();
        port_ = server_.start(0);
        setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(port_)).c_str(), 1);
    }
    void TearDown() override {
        server_.stop();
        setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
        SessionsTest::TearDown();
    }

    // Fetches once and waits (up to 10 s) for the completion.
    SettingsFetchResult fetch(SettingsDownloader& downloader) {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<SettingsFetchResult> result;
        downloader.fetch([&](SettingsFetchResult answer) {
            std::lock_guard guard(mutex);
            result = std::move(answer);
            done.notify_all();
        });
        std::unique_lock lock(mutex);
        EXPECT_TRUE(done.wait_for(lock, testsupport::kPatience, [&] { return result.has_value(); }));
        return result.value_or(SettingsFetchResult(SettingsDownloaderError{}));
    }

    std::shared_ptr<FakeInstallations> installations_ = std::make_shared<FakeInstallations>();
    standin::StandinServer server_;
    int port_ = 0;
};

SettingsDownloaderError failureOf(const SettingsFetchResult& result) {
    auto* failure = std::get_if<SettingsDownloaderError>(&result);
    EXPECT_TRUE(failure) << "a document came where a failure was expected";
    return failure ? *failure : SettingsDownloaderError{};
}

TEST_F(SettingsDownloaderTest, TheRequestCarriesThePathQueryAndHeaders) {
    SettingsDownloader downloader(makeAppInfo(kAppID, "2.5 beta", "17&x"), installations_);
    SettingsFetchResult result = fetch(downloader);
    ASSERT_TRUE(std::holds_alternative<plat::Object::Dict>(result));
    EXPECT_EQ(std::get<plat::Object::Dict>(result).at("cache_duration"), plat::Object(int64_t{3600}));

    auto requests = server_.settings().requests();
    ASSERT_EQ(requests.size(), 1u);
    const standin::RequestLogEntry& request = requests[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/settings/v1/platforms/macos/apps/1:111122223333:ios:f00dcafe12345678/settings");
    auto query = plat::URLQueryItem::parse(request.query);
    ASSERT_EQ(query.size(), 2u);
    EXPECT_EQ(query[0], (plat::URLQueryItem{"build_version", "17&x"}));
    EXPECT_EQ(query[1], (plat::URLQueryItem{"display_version", "2.5 beta"}));

    auto header = [&](const std::string& name) {
        for (const auto& [field, value] : request.headers)
            if (strcasecmp(field.c_str(), name.c_str()) == 0) return std::optional<std::string>(value);
        return std::optional<std::string>();
    };
    EXPECT_EQ(header("Accept"), "application/json");
    EXPECT_EQ(header("X-Crashwatch-Installation-ID"), "fake-installation-id");
    EXPECT_EQ(header("X-Crashwatch-OS-Display-Version"), TULAppEnvironmentUtil::systemVersion());
    EXPECT_EQ(header("X-Crashwatch-API-Client-Version"), TSRVersion());
    EXPECT_EQ(downloader.buildRequest("http://127.0.0.1:9/x", "tid").timeoutInterval, 60.0);
}

// The stand-in's HTTP library drops fields with empty values, so these are read off the wire.
TEST_F(SettingsDownloaderTest, TheModelAndBuildFieldsGoOutEvenWhenTheyAreEmpty) {
    testsupport::WireRecorder wire(testsupport::WireRecorder::reply(
        200, {{"Content-Type", "application/json"}}, "{\"cache_duration\":60}"));
    setenv("VELMORA_TESSERA_BASE", wire.url().c_str(), 1);
    SettingsDownloader downloader(makeAppInfo(), installations_);
    ASSERT_TRUE(std::holds_alternative<plat::Object::Dict>(fetch(downloader)));
    ASSERT_EQ(wire.requests().size(), 1u);
    const testsupport::WireRecorder::Request sent = wire.requests()[0];
    // Without the hardware's description (no /sys/class/dmi/id) the model is empty, not left out.
    EXPECT_EQ(sent.header("X-Crashwatch-Device-Model"),
              TULAppEnvironmentUtil::deviceSimulatorModel().value_or(""));
    EXPECT_EQ(sent.header("X-Crashwatch-OS-Build-Version"),
              TSRSESGetSysctlEntry("kern.osversion").value_or(""));
    EXPECT_EQ(sent.header("X-Crashwatch-Installation-ID"), "fake-installation-id");
}

TEST_F(SettingsDownloaderTest, FailuresNameTheirCause) {
    SettingsDownloader downloader(makeAppInfo(), installations_);

    // A server error whose body is a JSON object is still no document.
    server_.settings().setFault(standin::SettingsFault::ServerError);
    SettingsDownloaderError error = failureOf(fetch(downloader));
    EXPECT_EQ(error.kind, SettingsDownloaderError::Kind::URLSessionError);
    EXPECT_EQ(error.text, "The settings service answered with HTTP status 500");

    server_.settings().setFault(standin::SettingsFault::NonJson);
    EXPECT_EQ(failureOf(fetch(downloader)),
              (SettingsDownloaderError{SettingsDownloaderError::Kind::JSONParseError,
                                       "Failed to parse JSON to dictionary"}));
    server_.settings().setFault(std::nullopt);
    ASSERT_TRUE(server_.settings().setDocument("[1,2]") == false);

    // Without an installation id nothing is asked.
    server_.settings().reset();
    installations_->id.reset();
    installations_->idError = plat::Error::withMessage("com.tessera.installations", 0, "no id today");
    EXPECT_EQ(failureOf(fetch(downloader)),
              (SettingsDownloaderError{SettingsDownloaderError::Kind::InstallationIDError, "no id today"}));
    EXPECT_TRUE(server_.settings().requests().empty());

    // An app id that cannot be part of a URL.
    SettingsDownloader badURL(makeAppInfo("\xff\xfe"), installations_);
    EXPECT_EQ(failureOf(fetch(badURL)),
              (SettingsDownloaderError{SettingsDownloaderError::Kind::URLError, "Invalid URL"}));

    // Nobody listening.
    setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
    installations_->idError.reset();
    installations_->id = "tid";
    EXPECT_EQ(failureOf(fetch(downloader)).kind, SettingsDownloaderError::Kind::URLSessionError);
}

TEST_F(SettingsDownloaderTest, OnlyADocumentFromASuccessfulReplyReachesTheCache) {
    auto cache = std::make_shared<SettingsCache>();
    auto appInfo = makeAppInfo();
    RemoteSettings remote(appInfo, std::make_shared<SettingsDownloader>(appInfo, installations_), cache);
    plat::Date now{1'700'000'000};
    auto refetch = [&] {
        // Fetches run their completion on the session's queue; wait for the cache to change.
        cache->removeCache();
        remote.fetchAndCacheSettings(now);
        testsupport::eventually([&] { return cache->cacheKey().has_value(); });
    };

    ASSERT_TRUE(server_.settings().setDocument(
        R"({"app_health":{"sessions_enabled":false,"sampling_rate":0.5,"session_timeout_seconds":60},"cache_duration":86400})"));
    refetch();
    EXPECT_EQ(remote.sessionsEnabled(), false);
    EXPECT_EQ(remote.samplingRate(), 0.5);
    EXPECT_EQ(remote.sessionTimeout(), 60);

    // A 500 with a JSON body leaves the previous document in place.
    server_.settings().setFault(standin::SettingsFault::ServerError);
    remote.fetchAndCacheSettings(plat::Date{now.secondsSince1970 + 90'000});
    testsupport::eventually([&] { return logged("with HTTP status 500\")"); });
    EXPECT_TRUE(
        logged("[Settings] Fetching newest settings failed with error: URLSessionError(\"The settings "
               "service answered with HTTP status 500\")"));
    EXPECT_EQ(remote.samplingRate(), 0.5);

    // A document of nulls is stored without them: it decides nothing, and is still a cache.
    server_.settings().setFault(standin::SettingsFault::Nulls);
    refetch();
    ASSERT_TRUE(cache->cacheKey());
    EXPECT_FALSE(cache->cacheContent().empty());
    EXPECT_FALSE(remote.sessionsEnabled());
    EXPECT_FALSE(remote.samplingRate());
    EXPECT_EQ(cache->cacheContent().count("cache_duration"), 0u);
    EXPECT_TRUE(remote.isCacheExpired(plat::Date{now.secondsSince1970 + 3601}));

    // Values of the wrong types are stored as they came, and decide nothing.
    server_.settings().setFault(standin::SettingsFault::WrongTypes);
    refetch();
    EXPECT_FALSE(remote.sessionsEnabled());
    EXPECT_FALSE(remote.samplingRate());
    EXPECT_FALSE(remote.sessionTimeout());
    EXPECT_TRUE(remote.isCacheExpired(plat::Date{now.secondsSince1970 + 3601}));
}

} // namespace
