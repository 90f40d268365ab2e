#include "crash/record/CRWContext.h"
#include "crash/record/CRWSDKFileLog.h"
#include "tests/crash/record/RecordTestSupport.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

TEST(CRWSDKFileLog, FormatsItsOwnPlaceholders) {
    crashtest::ScopedLogContext context;
    CRWSDKFileLog(CRWSDKLogLevelWarn, "d=%d i=%i u=%u x=%x p=%p s=%s n=%s %% %q end%", -42, 7, 4000000000u,
                  0xbeefu, reinterpret_cast<void*>(0x1000), "text", static_cast<const char*>(nullptr));
    EXPECT_EQ(context.logText(), "d=-42 i=7 u=4000000000 x=beef p=0x1000 s=text n=(null) %% %q end%");
}

TEST(CRWSDKFileLog, LengthModifiersAreWrittenLiterallyAndKeepTheirArgument) {
    crashtest::ScopedLogContext context;
    const std::string before = context.logText();
    CRWSDKFileLog(CRWSDKLogLevelInfo, "INFO  [%s:%d] Mapping: %p %p %p, total: %zu K\n", "CRWAllocatorCreate",
                  7, reinterpret_cast<void*>(0xa000), reinterpret_cast<void*>(0xb000),
                  reinterpret_cast<void*>(0xc000), static_cast<size_t>(4242));
    EXPECT_EQ(context.logText().substr(before.size()),
              "INFO  [CRWAllocatorCreate:7] Mapping: 0xa000 0xb000 0xc000, total: %zu K\n");
}

TEST(CRWSDKFileLogDeathTest, EverythingBeforeAStringThatFaultsIsOnDisk) {
    crashtest::ScopedLogContext context;
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    // The child writes into this test's log file and dies reading the string. It writes as the
    // process holding the folder: a forked child otherwise writes nothing in its parent's log.
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_DEATH(
        {
            _crwContext.readonly->reportFolder.process = getpid();
            CRWSDKFileLog(CRWSDKLogLevelError, "number %d at %p then %s and no more", 42,
                          reinterpret_cast<void*>(0x1000), static_cast<const char*>(page));
        },
        "");
    EXPECT_EQ(context.logText(), "number 42 at 0x1000 then ");
    munmap(page, 4096);
}

TEST(CRWSDKFileLog, TheMacrosNameTheFunctionAndTheThresholdFilters) {
    crashtest::ScopedLogContext context;
    CRWSDKLogDebug("first %d\n", 1);
    _crwContext.writable->logLevel = CRWSDKLogLevelWarn; // as while a recursion is folded
    CRWSDKLogDebug("hidden\n");
    CRWSDKLogInfo("hidden\n");
    CRWSDKLogWarn("shown\n");
    CRWSDKLogErrorIn("SomeBlock", "also shown\n");
    const std::string text = context.logText();
    EXPECT_NE(text.find("DEBUG [TestBody:"), std::string::npos) << text;
    EXPECT_NE(text.find("] first 1\n"), std::string::npos);
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("WARN  [TestBody:"), std::string::npos);
    EXPECT_NE(text.find("ERROR [SomeBlock:"), std::string::npos);
}

TEST(CRWSDKFileLog, WithoutALogPathNothingIsWritten) {
    crashtest::ScopedLogContext context;
    _crwContext.readonly->logPath = nullptr;
    CRWSDKLogError("nowhere\n");
    EXPECT_FALSE(std::filesystem::exists(context.logFile()));
    const CRWContext saved = _crwContext;
    _crwContext = CRWContext{nullptr, nullptr, nullptr};
    CRWSDKLogError("nowhere\n"); // no context at all
    _crwContext = saved;
    EXPECT_FALSE(std::filesystem::exists(context.logFile()));
}

TEST(CRWSDKFileLog, ConcurrentFirstMessagesShareOneDescriptor) {
    crashtest::ScopedLogContext context;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([] { CRWSDKFileLog(CRWSDKLogLevelError, "x"); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(context.logText(), std::string(8, 'x'));
    EXPECT_GE(_crwContext.writable->logFileDescriptor, 0);
}

} // namespace
