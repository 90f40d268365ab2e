#include "core/TSRAnalyticsConfiguration.h"
#include "core/TSRApp.h"
#include "core/TSRHeartbeatLogger.h"
#include "core/TSROptions.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/core/CoreTestSupport.h"

using namespace coretest;

namespace {

class TSRDataCollectionTest : public CoreTest {
protected:
    std::shared_ptr<TSRApp> configure(const std::string& bundle) {
        useBundle(bundle);
        TSRApp::configure();
        return TSRApp::defaultApp();
    }
    static void storeSwitch(plat::Object value) {
        plat::UserDefaults::standard().set("/tessera/global_data_collection_enabled:__TSRAPP_DEFAULT",
                                           std::move(value));
    }
    static void activate() {
        plat::NotificationCenter::defaultCenter().post("NSApplicationDidBecomeActiveNotification");
    }
};

} // namespace

TEST_F(TSRDataCollectionTest, SwitchReadsOnlyNumbersThenTheInfoValue) {
    struct Case {
        const char* bundle;
        plat::Object stored;
        bool expected;
    } cases[] = {
        {"app", plat::Object(), true},                      // nothing anywhere
        {"app", plat::Object("NO"), true},                  // a stored string is ignored
        {"app", plat::Object(false), false},                // a stored number decides
        {"app", plat::Object(int64_t{0}), false},           // any number, not only booleans
        {"app-collection-off", plat::Object(), false},      // the Info number
        {"app-collection-off", plat::Object("YES"), false}, // string ignored, Info decides
        {"app-collection-off", plat::Object(true), true},   // stored number wins over Info
        {"app-collection-string", plat::Object(), true},    // an Info string is ignored too
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.bundle) + " " + c.stored.debugDescription());
        TSRApp::resetForTesting();
        TSROptions::resetDefaultOptions();
        plat::UserDefaults::standard().remove("/tessera/global_data_collection_enabled:__TSRAPP_DEFAULT");
        if (!c.stored.isAbsent()) storeSwitch(c.stored);
        auto app = configure(c.bundle);
        ASSERT_TRUE(app);
        EXPECT_EQ(app->isDataCollectionDefaultEnabled(), c.expected);
    }
}

TEST_F(TSRDataCollectionTest, SettingTheSwitchStoresItPerApp) {
    auto app = configure("app");
    std::vector<plat::Notification> announced;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        kTSRAnalyticsConfigurationSetEnabledNotification, plat::Object(),
        [&](const plat::Notification& n) { announced.push_back(n); });

    app->setDataCollectionDefaultEnabled(false);
    EXPECT_FALSE(app->isDataCollectionDefaultEnabled());
    EXPECT_EQ(
        plat::UserDefaults::standard().object("/tessera/global_data_collection_enabled:__TSRAPP_DEFAULT"),
        plat::Object(false));
    // The analytics switch hears it, without storing it.
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0].userInfo.at(kTSRAnalyticsConfigurationSetEnabledNotification),
              plat::Object(false));
    EXPECT_TRUE(plat::UserDefaults::standard().object(kTSRAnalyticsMeasurementEnabledStateKey).isAbsent());

    app->clearDataCollectionSwitchFromUserDefaults();
    EXPECT_TRUE(app->isDataCollectionDefaultEnabled());
}

TEST_F(TSRDataCollectionTest, ActivationWritesAHeartbeatOnlyWhileCollectionIsOn) {
    auto app = configure("app");
    auto logger = app->heartbeatLogger();
    EXPECT_EQ(logger->headerValue(), std::nullopt);

    app->setDataCollectionDefaultEnabled(false);
    activate();
    EXPECT_EQ(logger->headerValue(), std::nullopt);
    EXPECT_EQ(logger->heartbeatCodeForToday(), TSRDailyHeartbeatCodeNone);

    app->setDataCollectionDefaultEnabled(true);
    activate();
    TSRHeartbeatsPayload payload = logger->flushHeartbeatsIntoPayload();
    ASSERT_FALSE(payload.isEmpty());
    ASSERT_EQ(payload.heartbeatsPayload().userAgentPayloads.size(), 1u);
    EXPECT_EQ(payload.heartbeatsPayload().userAgentPayloads[0].agent, TSRApp::tesseraUserAgent());
    // Taken out by the flush.
    EXPECT_EQ(logger->headerValue(), std::nullopt);
}

TEST_F(TSRDataCollectionTest, ADroppedAppStopsObservingActivation) {
    TSRApp::configureWithName("short-lived", TSROptions::initWithTesseraAppID("1:9:ios:ab", "9"));
    std::weak_ptr<TSRApp> weak = TSRApp::appNamed("short-lived");
    auto logger = weak.lock()->heartbeatLogger();
    TSRApp::resetApps();
    EXPECT_TRUE(weak.expired());
    activate();
    EXPECT_EQ(logger->headerValue(), std::nullopt);
}
