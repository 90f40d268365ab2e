// The crash reporter and an analytics component: without one (as in this program) it only says so;
// with one it subscribes once, writes each analytics event into the crash log as a breadcrumb, and
// tells the component of a packaged crash with its time in milliseconds.
#include "crash/capture/CRWUserLogging.h"
#include "crash/manager/CRWAnalyticsManager.h"
#include "tests/crash/capture/CaptureTestSupport.h"

#include "tests/crash/manager/CapturedLog.h"

#include <gtest/gtest.h>

namespace {

class RecordingAnalytics final : public TSRAnalyticsInterop {
public:
    void registerAnalyticsListener(std::weak_ptr<TSRAnalyticsInteropListener> listener,
                                   const std::string& origin) override {
        listeners.emplace_back(std::move(listener), origin);
    }
    void logEventWithOrigin(const std::string& origin, const std::string& name,
                            const plat::Object::Dict& parameters) override {
        events.push_back({origin, name, parameters});
    }
    struct Event {
        std::string origin, name;
        plat::Object::Dict parameters;
    };
    std::vector<std::pair<std::weak_ptr<TSRAnalyticsInteropListener>, std::string>> listeners;
    std::vector<Event> events;
};

class AnalyticsManagerTest : public ::testing::Test {
protected:
    size_t count(const std::string& text) { return log.count(text); }

    crashtest::CapturedLog log;
};

TEST_F(AnalyticsManagerTest, WithoutAnAnalyticsComponentNothingIsRegisteredOrSent) {
    auto manager = std::make_shared<CRWAnalyticsManager>(nullptr);
    manager->registerAnalyticsListener();
    manager->registerAnalyticsListener();
    EXPECT_FALSE(manager->registeredAnalyticsEventListener());
    EXPECT_EQ(
        count("[Crashwatch:Crash:Reports:Event] Tessera Analytics SDK not detected. Crash-free statistics "
              "and breadcrumbs will not be reported"),
        2u);
    CRWAnalyticsManager::logCrashWithTimeStamp(1.7e9, nullptr);
    EXPECT_EQ(count("Sending app_exception event"), 0u);
}

TEST_F(AnalyticsManagerTest, AComponentIsSubscribedOnceAndItsEventsBecomeBreadcrumbs) {
    capturetest::CaptureContext context;
    ASSERT_TRUE(context.started());
    auto analytics = std::make_shared<RecordingAnalytics>();
    auto manager = std::make_shared<CRWAnalyticsManager>(analytics);
    manager->registerAnalyticsListener();
    manager->registerAnalyticsListener();
    ASSERT_EQ(analytics->listeners.size(), 1u);
    EXPECT_EQ(analytics->listeners[0].second, "crw");
    EXPECT_TRUE(manager->registeredAnalyticsEventListener());
    EXPECT_EQ(count("Registered Tessera Analytics event listener to receive breadcrumb logs"), 1u);

    analytics->listeners[0].first.lock()->messageTriggered(
        "purchase", plat::Object{{"value", plat::Object(plat::Number(3))}});
    // An event JSON cannot carry is left out, with a warning in the report's own log.
    analytics->listeners[0].first.lock()->messageTriggered("opened",
                                                           plat::Object{{"at", plat::Object(plat::Date{1})}});
    context.drainLoggingQueue();
    const auto crashLog = capturetest::sections(context.file(CRWReportLogAFile));
    ASSERT_EQ(crashLog.size(), 1u);
    EXPECT_EQ(crashLog[0]["log"]["msg"].string(),
              capturetest::hex(R"($A$:{"name":"purchase","parameters":{"value":3}})"));
    EXPECT_NE(context.logText().find("WARN  [CRWAnalyticsEventDictionaryToJSON:"), std::string::npos)
        << context.logText();
    EXPECT_NE(context.logText().find("] Tessera Analytics event is not valid JSON"), std::string::npos);
    // Nothing to convert is no fault.
    EXPECT_EQ(CRWAnalyticsEventDictionaryToJSON(plat::Object()), std::nullopt);
    EXPECT_EQ(CRWAnalyticsEventDictionaryToJSON(plat::Object::null()), std::nullopt);
}

TEST_F(AnalyticsManagerTest, ACrashIsReportedInMillisecondsRoundedHalfToEven) {
    auto analytics = std::make_shared<RecordingAnalytics>();
    // 1/16 s and 3/16 s are exact halves of a millisecond; 1.7e9 s + 1/4 s is not.
    for (double seconds : {0.0625, 0.1875, 1.7e9 + 0.25})
        CRWAnalyticsManager::logCrashWithTimeStamp(seconds, analytics);
    ASSERT_EQ(analytics->events.size(), 3u);
    std::vector<int64_t> stamps;
    for (const auto& event : analytics->events) {
        EXPECT_EQ(event.origin, "crw");
        EXPECT_EQ(event.name, "_ae");
        EXPECT_EQ(event.parameters.at("fatal").number().int64Value(), 1);
        EXPECT_EQ(event.parameters.size(), 2u);
        stamps.push_back(event.parameters.at("timestamp").number().int64Value());
    }
    EXPECT_EQ(stamps, (std::vector<int64_t>{62, 188, 1'700'000'000'250}));
    EXPECT_EQ(count("Sending app_exception event to Tessera Analytics for crash-free statistics"), 3u);
}

} // namespace
