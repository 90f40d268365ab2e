#include "crash/image/CRWBinaryImage.h"
#include "crash/image/CRWMachO.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWExecutionIdentifierModel.h"
#include "crash/unwind/CRWCompactUnwind.h"
#include "crash/unwind/CRWUnwind.h"
#include "tests/crash/support/CountingAllocator.h"
#include "tests/crash/support/MachOFixtures.h"
#include "tests/crash/unwind/HostCallChains.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <ucontext.h>
#include <unwind.h>

using namespace crashtest;

namespace {

struct Walk {
    uint64_t pcs[256];
    size_t count = 0;
    AllocationCounts allocations;
    std::vector<uint64_t> reference;
};

// Walks from here with the crash-time environment while counting allocations, then asks the
// system unwinder (outside the count) for comparison.
__attribute__((noinline)) void countedWalk(void* data) {
    auto* walk = static_cast<Walk*>(data);
    ucontext_t context;
    getcontext(&context);
    CRWRegisters registers;
    CRWRegistersFromUContext(&context, &registers);
    {
        AllocationCountScope scope;
        CRWUnwindContext cursor;
        CRWUnwindInit(&cursor, &registers, CRWUnwindEnvironmentDefault());
        while (walk->count < 256 && CRWUnwindNextFrame(&cursor))
            walk->pcs[walk->count++] = CRWUnwindGetPC(&cursor);
        walk->allocations = scope.counts();
    }
    _Unwind_Backtrace(
        [](_Unwind_Context* unwind, void* out) {
            if (_Unwind_GetIP(unwind) != 0)
                static_cast<std::vector<uint64_t>*>(out)->push_back(_Unwind_GetIP(unwind));
            return _URC_NO_REASON;
        },
        &walk->reference);
    __asm__ volatile("" ::: "memory");
}

} // namespace

// The crash context's own image table and the safe reads: the walk matches the system unwinder's
// and allocates nothing.
TEST(CRWUnwindCrashTime, WalkWithTheContextAllocatesNothing) {
    testsupport::TempHome home;
    CRWContextSetStartupHooks({});
    CRWBinaryImageInstallStartupHooks();
    CRWContextStartupHooks hooks = CRWContextCurrentStartupHooks();
    hooks.debuggerAttached = [] { return false; };
    CRWContextSetStartupHooks(hooks);
    const auto report = CRWContextReportsRootPath() / CRWExecutionIdentifierModel().executionID();
    std::filesystem::create_directories(report);
    CRWContextInitData data;
    data.setRootPath(report.string() + "/");
    ASSERT_TRUE(CRWContextInitialize(&data));
    testsupport::waitUntil([] { return CRWContextIsInitialized(); });
    ASSERT_TRUE(CRWContextIsInitialized());
    CRWBinaryImageQueue().sync([] {});

    Walk walk;
    optimisedChain(12, countedWalk, &walk);
    EXPECT_EQ(walk.allocations.total(), 0u) << walk.allocations;
    ASSERT_EQ(walk.count, walk.reference.size());
    for (size_t i = 1; i < walk.count; ++i)
        EXPECT_EQ(walk.pcs[i], walk.reference[i]) << i;
    CRWContextSetStartupHooks({});
}

// The parsers of image headers and unwind tables allocate nothing either.
TEST(CRWUnwindCrashTime, ParsersAllocateNothing) {
    const FixtureBytes bytes = readFixture("arm64_exec");
    const CRWMachOSliceRecord slice = CRWMachOSliceWithHeader(bytes.data(), bytes.size);
    AllocationCountScope scope;
    CRWMachOSection section{};
    const bool found = CRWMachOSliceInitSectionByName(&slice, "__TEXT", "__unwind_info", &section);
    CRWCompactUnwindContext context;
    const uint64_t base = reinterpret_cast<uintptr_t>(bytes.data());
    const bool initialised =
        CRWCompactUnwindInit(&context, base + section.offset, section.size, 0, 0, base, nullptr);
    CRWCompactUnwindResult result{};
    const bool looked = CRWCompactUnwindLookup(&context, base + 0x700, &result);
    const AllocationCounts counts = scope.counts();
    EXPECT_TRUE(found && initialised && looked);
    EXPECT_EQ(counts.total(), 0u) << counts;
}
