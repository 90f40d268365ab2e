#include "core/TSRAnalyticsConfiguration.h"
#include "core/TSRConfiguration.h"
#include "core/TSRException.h"
#include "core/TSRLogger.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/core/CoreTestSupport.h"

using namespace coretest;

namespace {

class TSRLoggerTest : public CoreTest {
protected:
    // A fresh "launch" with the given arguments.
    void launch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "velmora");
        plat::ProcessInfo::processInfo().setArguments(std::move(arguments));
        TSRLoggerResetForTesting();
        TSRLoggerInitialize();
    }
    bool debugWritten(const std::string& code) {
        TSRLogDebug(kTSRLoggerCore, code, "debug line");
        return !linesWithCode(code).empty();
    }
    static plat::Object persisted() { return plat::UserDefaults::standard().object("/tessera/debug_mode"); }
};

} // namespace

TEST_F(TSRLoggerTest, DefaultLevelIsNotice) {
    launch({});
    TSRLogInfo(kTSRLoggerCore, "I-COR900001", "info %@", "dropped");
    TSRLogNotice(kTSRLoggerCore, "I-COR900002", "notice %@ %ld", "kept", 7L);
    EXPECT_TRUE(linesWithCode("I-COR900001").empty());
    ASSERT_EQ(linesWithCode("I-COR900002").size(), 1u);
    const auto lines = logLines();
    EXPECT_EQ(lines.back().text, "3.2.0 - [TesseraCore][I-COR900002] notice kept 7");
    EXPECT_EQ(lines.back().subsystem, "com.tessera");
    EXPECT_EQ(lines.back().category, "[TesseraCore]");
    EXPECT_EQ(TSRGetLoggerLevel(), TSRLoggerLevelNotice);
}

TEST_F(TSRLoggerTest, DebugSwitchesAcrossLaunches) {
    launch({"-TSRDebugEnabled"});
    EXPECT_TRUE(debugWritten("I-COR900010"));
    EXPECT_EQ(persisted(), plat::Object(true));

    launch({}); // remembered
    EXPECT_TRUE(debugWritten("I-COR900011"));

    launch({"-TSRDebugDisabled"});
    EXPECT_FALSE(debugWritten("I-COR900012"));
    EXPECT_TRUE(persisted().isAbsent());

    launch({"-TSRDebugEnabled", "-TSRDebugDisabled"}); // the disabling switch wins
    EXPECT_FALSE(debugWritten("I-COR900013"));
    EXPECT_TRUE(persisted().isAbsent());
}

TEST_F(TSRLoggerTest, AnalyticsDebugModeForcesOnlyTheAnalyticsService) {
    launch({});
    TSRSetLoggerLevelError();
    TSRSetAnalyticsDebugMode(true);
    TSRLogDebug(kTSRLoggerAnalytics, "I-COR900020", "analytics");
    TSRLogDebug(kTSRLoggerCore, "I-COR900021", "core");
    EXPECT_EQ(linesWithCode("I-COR900020").size(), 1u);
    EXPECT_TRUE(linesWithCode("I-COR900021").empty());
    EXPECT_TRUE(TSRIsLoggableLevel(TSRLoggerLevelDebug, true));
    EXPECT_FALSE(TSRIsLoggableLevelDebug());
    EXPECT_TRUE(TSRIsLoggableLevelError());
}

TEST_F(TSRLoggerTest, WrapperMessagesAreNotFormats) {
    launch({});
    TSRLoggerWrapper::logWithLevel(TSRLoggerLevelError, "[TesseraSessions]", "I-SES900030", "100% %@ %d");
    ASSERT_EQ(linesWithCode("I-SES900030").size(), 1u);
    EXPECT_EQ(linesWithCode("I-SES900030")[0], "3.2.0 - [TesseraSessions][I-SES900030] 100% %@ %d");
}

TEST_F(TSRLoggerTest, LevelsOutsideTheRangeAreRefused) {
    launch({});
    TSRSetLoggerLevelWarning();
    for (int level : {2, 8})
        TSRSetLoggerLevel(level);
    EXPECT_EQ(TSRGetLoggerLevel(), TSRLoggerLevelWarning);
    EXPECT_EQ(linesWithCode("I-COR000023").size(), 2u);

    TSRConfiguration& configuration = TSRConfiguration::sharedInstance();
    for (int level : {3, 7}) {
        configuration.setLoggerLevel(level);
        EXPECT_EQ(configuration.loggerLevel(), level);
    }
    for (int level : {2, 8}) {
        try {
            configuration.setLoggerLevel(level);
            ADD_FAILURE() << "accepted " << level;
        } catch (const TSRException& e) {
            EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
            EXPECT_EQ(e.reason(), "Invalid logger level, " + std::to_string(level));
        }
        EXPECT_EQ(configuration.loggerLevel(), 7);
    }
}

TEST_F(TSRLoggerTest, AnalyticsConfigurationStoresOneOrTwo) {
    std::vector<plat::Notification> posted;
    auto token = plat::NotificationCenter::defaultCenter().addObserver(
        "", plat::Object(), [&](const plat::Notification& n) { posted.push_back(n); });
    TSRAnalyticsConfiguration& analytics = TSRConfiguration::sharedInstance().analyticsConfiguration();
    analytics.setAnalyticsCollectionEnabled(false);
    EXPECT_EQ(plat::UserDefaults::standard().object("/tessera/measurement/measurement_enabled_state"),
              plat::Object(int64_t{2}));
    analytics.setAnalyticsCollectionEnabled(true);
    EXPECT_EQ(plat::UserDefaults::standard().integer("/tessera/measurement/measurement_enabled_state"), 1);

    analytics.postNotificationName("", plat::Object(true));
    analytics.postNotificationName("Named", plat::Object());
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].object, analytics.senderObject());
    EXPECT_EQ(posted[1].userInfo.at("TSRAnalyticsConfigurationSetEnabledNotification"), plat::Object(true));
}
