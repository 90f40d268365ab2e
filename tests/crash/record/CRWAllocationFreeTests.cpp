// Crash-time code may not touch the heap. These tests run the crash-time writer, the internal log,
// the safe reads and the crash flags under the interposed counting allocator.
#include "crash/record/CRWAllocator.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWFile.h"
#include "crash/record/CRWHex.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"
#include "tests/crash/record/RecordTestSupport.h"
#include "tests/crash/support/CountingAllocator.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using crashtest::AllocationCountScope;
using crashtest::keepAllocation;

// The counter must see what it claims to see, or a zero proves nothing. Every block is handed to
// keepAllocation, so the optimised build makes each call too.
TEST(CountingAllocator, SeesEveryKindOfAllocation) {
    AllocationCountScope scope;
    void* p = malloc(24);
    keepAllocation(p);
    p = realloc(p, 48);
    keepAllocation(p);
    free(p);
    void* zeroed = calloc(2, 8);
    keepAllocation(zeroed);
    free(zeroed);
    int* one = new int(7);
    keepAllocation(one);
    delete one;
    char* three = new char[3];
    keepAllocation(three);
    delete[] three;
    char* copy = strdup("copied by the C library");
    keepAllocation(copy);
    free(copy);
    auto holder = std::make_unique<std::string>(100, 'x');
    keepAllocation(holder->data());
    holder.reset();
    CRWFile file;
    testsupport::TempHome home;
    ASSERT_TRUE(
        CRWFileInitWithPathMode(&file, (home.path() / "b").c_str(), false, true)); // buffered: mallocs
    ASSERT_TRUE(CRWFileClose(&file));
    crashtest::AllocationCounts counts = scope.counts();
    EXPECT_GE(counts.mallocs, 2u) << counts;
    EXPECT_GE(counts.callocs, 1u) << counts;
    EXPECT_GE(counts.reallocs, 1u) << counts;
    EXPECT_GE(counts.frees, 4u) << counts;
    EXPECT_GE(counts.news, 3u) << counts;
    EXPECT_GE(counts.deletes, 3u) << counts;
}

TEST(CountingAllocator, CountsOnlyTheCountingThreadUnlessAsked) {
    std::atomic<int> phase{0};
    auto waitFor = [&](int value) {
        while (phase.load() != value)
            std::this_thread::yield();
    };
    auto allocateOne = [] {
        void* block = malloc(8);
        keepAllocation(block);
        free(block);
    };
    std::thread worker([&] {
        waitFor(1);
        allocateOne();
        phase = 2;
        waitFor(3);
        allocateOne();
        phase = 4;
    });
    {
        AllocationCountScope scope;
        phase = 1;
        waitFor(2);
        const auto counts = scope.counts();
        EXPECT_EQ(counts.total(), 0u) << "another thread's calls do not count: " << counts;
    }
    {
        AllocationCountScope scope(true);
        phase = 3;
        waitFor(4);
        const auto counts = scope.counts();
        EXPECT_GE(counts.mallocs, 1u) << counts;
        EXPECT_GE(counts.frees, 1u) << counts;
    }
    worker.join();
}

TEST(CrashTimeCode, TheUnbufferedWriterNeverAllocates) {
    testsupport::TempHome home;
    const std::string path = (home.path() / "crash.crwrecord").string();
    const std::string longText(300, 'L');
    const CRWHeldFolder folder = CRWContextOpenFolder(home.path().string());
    CRWFile file;
    AllocationCountScope scope;
    ASSERT_TRUE(CRWFileInitInFolder(&file, &folder, "crash.crwrecord", true));
    CRWFileWriteSectionStart(&file, "signal");
    CRWFileWriteHashStart(&file);
    CRWFileWriteHashEntryUint64(&file, "number", UINT64_MAX);
    CRWFileWriteHashEntryInt64(&file, "code", INT64_MIN);
    CRWFileWriteHashEntryString(&file, "name", "SIGSEGV \"quoted\"\n");
    CRWFileWriteHashEntryString(&file, "long", longText.c_str());
    CRWFileWriteHashEntryString(&file, "code_name", nullptr);
    CRWFileWriteHashEntryHexEncodedString(&file, "reason", longText.c_str());
    CRWFileWriteHashEntryBoolean(&file, "fatal", true);
    CRWFileWriteHashEntryNSString(&file, "view", std::string_view("view"));
    CRWFileWriteHashKey(&file, "frames");
    CRWFileWriteArrayStart(&file);
    CRWFileWriteArrayEntryUint64(&file, 0x7fff0000);
    CRWFileWriteArrayEntryString(&file, "frame");
    CRWFileWriteArrayEntryHexEncodedString(&file, "frame");
    CRWFileWriteArrayEnd(&file);
    CRWFileWriteHashEnd(&file);
    CRWFileWriteSectionEnd(&file);
    CRWFileWriteStringUnquoted(&file, "raw\n");
    CRWFileFDWriteInt64(file.descriptor, -5);
    ASSERT_TRUE(CRWFileClose(&file));
    char hex[9];
    CRWSafeHexToString("\x01\x02\x03\x04", 4, hex);
    const auto counts = scope.counts();
    EXPECT_EQ(counts.total(), 0u) << counts;
    EXPECT_GT(testsupport::readFile(path).size(), 900u) << "the writes really happened";
    close(folder.descriptor);
}

TEST(CrashTimeCode, TheInternalLogNeverAllocates) {
    crashtest::ScopedLogContext context;
    AllocationCountScope scope;
    CRWSDKLogWarn("first message opens the file %s %d %u %x %p %zu\n", "text", -1, 2u, 0xffu,
                  static_cast<void*>(&scope));
    CRWSDKLogError("second %s\n", static_cast<const char*>(nullptr));
    const auto counts = scope.counts();
    EXPECT_EQ(counts.total(), 0u) << counts;
    EXPECT_NE(context.logText().find("first message opens the file text -1 2 ff 0x"), std::string::npos);
}

TEST(CrashTimeCode, SafeReadsFlagsRegionAllocationAndTheMarkerNeverAllocate) {
    testsupport::TempHome home;
    CRWContextStartupHooks hooks;
    hooks.debuggerAttached = [] { return false; };
    CRWContextSetStartupHooks(hooks);
    CRWContextInitData data;
    data.setRootPath(home.path().string());
    data.setPreviouslyCrashedFileRootPath(home.path().string());
    ASSERT_TRUE(CRWContextInitialize(&data));
    testsupport::waitUntil([] { return CRWContextIsInitialized(); });
    ASSERT_TRUE(CRWContextIsInitialized());
    CRWContextSetStartupHooks({});
    CRWAllocator* spare = CRWAllocatorCreate(4096, 0);
    ASSERT_NE(spare, nullptr);

    const char* text = "readable";
    const char* out = nullptr;
    char copy[9] = {};
    AllocationCountScope scope;
    EXPECT_TRUE(CRWReadMemory(reinterpret_cast<uintptr_t>(text), copy, 9));
    EXPECT_TRUE(CRWReadString(reinterpret_cast<uintptr_t>(text), &out, 64));
    EXPECT_FALSE(CRWReadMemory(8, copy, 1));
    EXPECT_NE(CRWAllocatorSafeAllocate(spare, 100, CRWAllocationTypeWritable), nullptr);
    EXPECT_FALSE(CRWContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(CRWContextHasCrashed());
    CRWCreateCrashedMarkerFile();
    char redacted[] = "(00000000-0000-0000-0000-000000000000)";
    CRWRedactUUID(redacted);
    const auto counts = scope.counts();
    EXPECT_EQ(counts.total(), 0u) << counts;
    EXPECT_TRUE(std::filesystem::exists(home.path() / "previously-crashed"));
}

} // namespace
