// The transport's console logger and assertion.
#include "TransportTestSupport.h"

#include "transport/TTRConsoleLogger.h"

using namespace transporttest;

namespace {

TEST(TTRConsoleLogger, OnlyMessagesAtTheThresholdAreWrittenWithTheirCodeString) {
    EXPECT_EQ(TTRMessageCodeEnumToString(4), "I-TTR000004");
    EXPECT_EQ(TTRMessageCodeEnumToString(1000), "I-TTR001000");
    LogCapture log;
    TTRLog(0, TTRLoggingLevelDebug, "debug %@", "one");
    TTRLog(0, TTRLoggingLevelWarnings, "warning %@", "two");
    TTRLog(1000, TTRLoggingLevelErrors, "error %@ %ld", "three", int64_t(4));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[TesseraTransport][I-TTR001000] error three 4"});

    TTRConsoleLoggerLoggingLevel = TTRLoggingLevelWarnings;
    TTRLog(0, TTRLoggingLevelWarnings, "warning %@", "two");
    TTRConsoleLoggerLoggingLevel = TTRLoggingLevelErrors;
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST(TTRConsoleLogger, AFailedAssertionLogsOnceAndContinuesOrRunsTheInstalledHookInstead) {
    LogCapture log;
    int reached = 0;
    TTRAssert(1 + 1 == 3, "math is %@", "broken");
    ++reached;
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(reached, 1);
    const std::string line = log.lines().front();
    EXPECT_EQ(line.rfind("[TesseraTransport][I-TTR001006] (TTRConsoleLoggerTests.cpp:", 0), 0u) << line;
    EXPECT_NE(line.find(") : math is broken"), std::string::npos);

    int hookRuns = 0;
    TTRSetAssertionBlock([&] { ++hookRuns; });
    TTRAssert(false, "silent");
    TTRAssert(true, "never");
    TTRSetAssertionBlock(nullptr);
    EXPECT_EQ(hookRuns, 1);
    EXPECT_EQ(log.lines().size(), 1u);
    TTRLogAssert(true, "file.cpp", 7, "fatal %@", {plat::Object("x")});
    EXPECT_EQ(log.lines().back(), "[TesseraTransport][I-TTR001007] (file.cpp:7) : fatal x");
}

} // namespace
