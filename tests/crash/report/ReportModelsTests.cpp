// The public report models: stack frames and how they describe themselves, exception models, and
// the host's view of an unsent report, whose additions land in that report's own files.
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWFileRead.h"
#include "crash/report/TSRCrashwatchReport.h"
#include "crash/report/TSRExceptionModel.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/crash/report/ReportTestSupport.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using capturetest::hex;

TEST(StackFrames, FactoriesAndDescriptions) {
    const TSRStackFrame bySymbol = TSRStackFrame::stackFrameWithSymbol("main");
    EXPECT_EQ(bySymbol.rawSymbol(), bySymbol.symbol());
    EXPECT_FALSE(bySymbol.isSymbolicated());
    EXPECT_EQ(bySymbol.description(), "{[0x0 + 0] main}");

    const TSRStackFrame located = TSRStackFrame::stackFrameWithSymbol("run()", "main.cpp", 12);
    EXPECT_TRUE(located.isSymbolicated());
    EXPECT_FALSE(located.rawSymbol());
    EXPECT_EQ(located.description(), "{main.cpp - run():12}");

    TSRStackFrame address = TSRStackFrame::stackFrameWithAddress(0xdeadbeef);
    EXPECT_EQ(address.description(), "{[0xdeadbeef + 0] (null)}");
    address.setFileName("lib.c");
    address.setSymbol("f");
    address.setLineNumber(3);
    EXPECT_EQ(address.description(), "{[0xdeadbeef] lib.c - f:3}");
    EXPECT_EQ(TSRStackFrame::stackFrame(), TSRStackFrame());

    TSRExceptionModel model = TSRExceptionModel::exceptionModelWithName("Bad", "it broke");
    EXPECT_FALSE(model.isFatal());
    model.setIsFatal(true);
    model.setOnDemand(true);
    model.setStackTrace({located, address});
    EXPECT_TRUE(model.isFatal() && model.onDemand());
    EXPECT_EQ(model.name(), "Bad");
    EXPECT_EQ(model.reason(), "it broke");
    EXPECT_EQ(model.stackTrace().size(), 2u);
}

class UnsentReportTest : public reporttest::ReportTest {
protected:
    fs::path unsentFolder() {
        return makeFolder("unsent", {{"metadata.crwrecord", metadata("unsent-run", 1234)}});
    }
};

TEST_F(UnsentReportTest, NothingIsWrittenBeforeTheCrashReporterHasStarted) {
    // A fresh context that has not finished its start-up.
    CRWContextBaseInit();
    const fs::path folder = unsentFolder();
    TSRCrashwatchReport report(CRWInternalReport::reportWithPath(folder.string()));
    EXPECT_EQ(report.reportID(), "unsent-run");
    EXPECT_EQ(report.dateCreated(), plat::Date{1234});
    EXPECT_FALSE(report.hasCrash());
    report.log("hello");
    report.logWithFormat("%@ %d", "formatted", 3);
    report.setUserID("user");
    report.setCustomValue(plat::Object("v"), "k");
    report.setCustomKeysAndValues({{"a", plat::Object("b")}});
    EXPECT_TRUE(logged("log: failed for TSRCrashwatchReport because Crashwatch context isn't initialized."));
    EXPECT_TRUE(logged("logWithFormat: failed for TSRCrashwatchReport"));
    EXPECT_TRUE(logged("setCustomKeysAndValues: failed for TSRCrashwatchReport"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(TSRCrashwatchReport::filesystemPathForContentFile("log_a.crwrecord", nullptr), std::nullopt);
}

TEST_F(UnsentReportTest, AdditionsLandInTheUnsentReportsOwnFiles) {
    capturetest::CaptureContext running;
    ASSERT_TRUE(running.started());
    const fs::path folder = unsentFolder();
    testsupport::writeFile(folder / "signal.crwrecord", "");
    TSRCrashwatchReport report(CRWInternalReport::reportWithPath(folder.string()));
    EXPECT_TRUE(report.hasCrash());
    report.log("last words");
    report.logWithFormat("count %d", 3);
    report.setUserID("user-1");
    report.setCustomValue(plat::Object("blue"), "colour");
    report.setCustomKeysAndValues({{"size", plat::Object(int64_t{4})}});
    running.drainLoggingQueue();

    const std::string log = testsupport::readFile(folder / "log_a.crwrecord");
    EXPECT_NE(log.find(hex("last words")), std::string::npos) << log;
    EXPECT_NE(log.find(hex("count 3")), std::string::npos) << log;
    const std::string internal = testsupport::readFile(folder / "internal_incremental_kv.crwrecord");
    EXPECT_NE(internal.find(hex("com.crashwatch.user-id")), std::string::npos) << internal;
    EXPECT_NE(internal.find(hex("user-1")), std::string::npos);
    const std::string user = testsupport::readFile(folder / "user_incremental_kv.crwrecord");
    EXPECT_NE(user.find(hex("colour")), std::string::npos) << user;
    EXPECT_NE(user.find(hex("size")), std::string::npos);
    // The running report is left alone.
    EXPECT_EQ(testsupport::readFile(running.file("log_a.crwrecord")).find(hex("last words")),
              std::string::npos);
}

} // namespace
