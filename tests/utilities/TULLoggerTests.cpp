#include "utilities/TULAppEnvironmentUtil.h"
#include "utilities/TULLogger.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

// Captures what the logger writes to the system log, with the logger reset around each test.
class TULLoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TULLoggerResetForTesting();
        TULAppEnvironmentUtil::overrideFromAppStoreForTesting(std::nullopt);
        previous_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& e) {
            std::lock_guard guard(mutex_);
            entries_.push_back(e);
        });
    }
    void TearDown() override {
        TULLoggerWaitUntilWritten();
        plat::OSLog::setSink(previous_);
        TULAppEnvironmentUtil::overrideFromAppStoreForTesting(std::nullopt);
        TULLoggerResetForTesting();
    }
    std::vector<plat::OSLog::Entry> written() {
        TULLoggerWaitUntilWritten();
        std::lock_guard guard(mutex_);
        return entries_;
    }

    std::mutex mutex_;
    std::vector<plat::OSLog::Entry> entries_;
    plat::OSLog::Sink previous_;
};

} // namespace

TEST_F(TULLoggerTest, LevelIsZeroUntilInitialisedThenNotice) {
    EXPECT_EQ(TULGetLoggerLevel(), 0);
    EXPECT_TRUE(TULIsLoggableLevel(TULLoggerLevelNotice));
    EXPECT_EQ(TULGetLoggerLevel(), TULLoggerLevelNotice);
    EXPECT_FALSE(TULIsLoggableLevel(TULLoggerLevelInfo));
}

TEST_F(TULLoggerTest, LineFormatWithAndWithoutVersion) {
    TULOSLogError("com.tessera.test", "[TULTest]", false, "I-TUL000001", "value %@ count %ld", "abc", 42);
    TULLoggerRegisterVersion("3.2.0");
    TULOSLogWarning("com.tessera.test", "[TULTest]", false, "I-TUL000002", "plain");
    // Without an argument list the message is the text itself, "%" and all.
    TULOSLogBasic(TULLoggerLevelNotice, "com.tessera.test", "[TULTest]", false, "I-TUL000003", "100% %@",
                  nullptr);

    auto lines = written();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, " - [TULTest][I-TUL000001] value abc count 42");
    EXPECT_EQ(lines[0].type, plat::OSLogType::Error);
    EXPECT_EQ(lines[0].subsystem, "com.tessera.test");
    EXPECT_EQ(lines[0].category, "[TULTest]");
    EXPECT_EQ(lines[1].text, "3.2.0 - [TULTest][I-TUL000002] plain");
    EXPECT_EQ(lines[1].type, plat::OSLogType::Default);
    EXPECT_EQ(lines[2].text, "3.2.0 - [TULTest][I-TUL000003] 100% %@");
}

TEST_F(TULLoggerTest, FilteringByLevelAndForcedLogging) {
    TULOSLogInfo("s", "[C]", false, "I-TUL000010", "dropped info");
    TULOSLogDebug("s", "[C]", false, "I-TUL000011", "dropped debug");
    TULOSLogDebug("s", "[C]", true, "I-TUL000012", "forced debug");
    TULSetLoggerLevel(TULLoggerLevelDebug);
    TULOSLogDebug("s", "[C]", false, "I-TUL000013", "shown debug");
    TULSetLoggerLevel(TULLoggerLevelError);
    TULOSLogWarning("s", "[C]", false, "I-TUL000014", "dropped warning");

    auto lines = written();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, " - [C][I-TUL000012] forced debug");
    EXPECT_EQ(lines[0].type, plat::OSLogType::Debug);
    EXPECT_EQ(lines[1].text, " - [C][I-TUL000013] shown debug");
}

TEST_F(TULLoggerTest, InvalidLevelsLogAForcedErrorAndChangeNothing) {
    TULSetLoggerLevel(TULLoggerLevelError); // errors only, yet the complaint is forced through
    for (int level : {2, 8})
        TULSetLoggerLevel(level);
    EXPECT_EQ(TULGetLoggerLevel(), TULLoggerLevelError);
    auto lines = written();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, " - [TULLogger][I-COR000023] Invalid logger level, 2");
    EXPECT_EQ(lines[1].text, " - [TULLogger][I-COR000023] Invalid logger level, 8");
    EXPECT_EQ(lines[0].subsystem, "com.tessera.utilities.logger");
    EXPECT_EQ(lines[0].type, plat::OSLogType::Error);
}

TEST_F(TULLoggerTest, ForceDebugShowsEverythingOutsideTheStore) {
    TULLoggerForceDebug();
    EXPECT_EQ(TULGetLoggerLevel(), TULLoggerLevelDebug);
    TULSetLoggerLevel(TULLoggerLevelError);
    // Debug mode outlives a lower level.
    EXPECT_TRUE(TULIsLoggableLevel(TULLoggerLevelDebug));
    TULOSLogDebug("s", "[C]", false, "I-TUL000020", "still shown");
    EXPECT_EQ(written().size(), 1u);
}

TEST_F(TULLoggerTest, StoreBuildsKeepToWarnings) {
    TULAppEnvironmentUtil::overrideFromAppStoreForTesting(true);
    TULLoggerForceDebug();
    EXPECT_FALSE(TULIsLoggableLevel(TULLoggerLevelDebug));
    for (int level : {5, 6, 7})
        TULSetLoggerLevel(level);
    EXPECT_EQ(TULGetLoggerLevel(), TULLoggerLevelNotice);
    TULSetLoggerLevel(TULLoggerLevelWarning);
    EXPECT_EQ(TULGetLoggerLevel(), TULLoggerLevelWarning);
    TULSetLoggerLevel(TULLoggerLevelError);
    EXPECT_EQ(TULGetLoggerLevel(), TULLoggerLevelError);
}

TEST_F(TULLoggerTest, WrapperUsesTheLoggerSubsystemForServices) {
    TULLoggerWrapper::logWithLevel(TULLoggerLevelError, "[TesseraCore]", "I-COR000001", "n=%d",
                                   {plat::Object(5)});
    TULLoggerWrapper::logWithLevel(TULLoggerLevelDebug, "[TesseraCore]", "I-COR000002", "dropped", {});
    TULLoggerWrapper::logWithLevel(TULLoggerLevelError, "sub", "[Cat]", "I-COR000003", "%@",
                                   {plat::Object("x")});
    auto lines = written();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].subsystem, "com.tessera.utilities.logger");
    EXPECT_EQ(lines[0].text, " - [TesseraCore][I-COR000001] n=5");
    EXPECT_EQ(lines[1].subsystem, "sub");
    EXPECT_EQ(lines[1].text, " - [Cat][I-COR000003] x");
}

TEST(TULStringFormat, ConversionsReadTheirArguments) {
    auto f = [](std::string_view format, TULFormatArguments args) {
        return TULStringWithFormat(format, args);
    };
    EXPECT_EQ(f("'%@.%@'.", {plat::Object("TesseraOptions"), plat::Object("plist")}),
              "'TesseraOptions.plist'.");
    EXPECT_EQ(f("%ld|%5d|%-3d|%03u|%lx",
                {plat::Object(-7), plat::Object(42), plat::Object(1), plat::Object(9u), plat::Object(255)}),
              "-7|   42|1  |009|ff");
    EXPECT_EQ(f("%.2f %s %c %%", {plat::Object(1.005), plat::Object("str"), plat::Object(65)}),
              "1.00 str A %");
    EXPECT_EQ(f("%@ %@", {plat::Object(true), plat::Object(2.5)}), "1 2.5");
    // Missing arguments and unknown conversions never read past the list.
    EXPECT_EQ(f("%@ %d %n %p end %", {}), "(null) 0 %n %p end %");
}
