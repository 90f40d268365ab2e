#include "crash/unwind/CRWUnwind.h"
#include "tests/crash/support/HostImages.h"
#include "tests/crash/unwind/HostCallChains.h"

#include <gtest/gtest.h>

#include <ucontext.h>
#include <unwind.h>

using namespace crashtest;

namespace {

struct Walks {
    const CRWUnwindEnvironment* environment;
    std::vector<uint64_t> ours;
    std::vector<uint64_t> reference;
};

// Captures this frame's registers, walks them with our unwinder, then asks the system unwinder
// from the same frame. Both lists start in this function at different call sites.
__attribute__((noinline)) void walkBoth(void* data) {
    auto* walks = static_cast<Walks*>(data);
    ucontext_t context;
    getcontext(&context);
    CRWRegisters registers;
    ASSERT_TRUE(CRWRegistersFromUContext(&context, &registers));
    CRWUnwindContext cursor;
    ASSERT_TRUE(CRWUnwindInit(&cursor, &registers, walks->environment));
    while (CRWUnwindNextFrame(&cursor) && walks->ours.size() < 1000)
        walks->ours.push_back(CRWUnwindGetPC(&cursor));
    _Unwind_Backtrace(
        [](_Unwind_Context* unwind, void* out) {
            static_cast<std::vector<uint64_t>*>(out)->push_back(_Unwind_GetIP(unwind));
            return _URC_NO_REASON;
        },
        &walks->reference);
    // The system unwinder reports the outermost frame's missing caller as a frame at 0.
    while (!walks->reference.empty() && walks->reference.back() == 0)
        walks->reference.pop_back();
    __asm__ volatile("" ::: "memory");
}

class HostUnwind : public ::testing::Test {
protected:
    void SetUp() override {
        table = hostImageTable();
        environment = CRWUnwindEnvironmentWithTable(table.get(), hostReader());
        ASSERT_GT(CRWBinaryImageTableCount(table.get()), 2u);
    }
    std::unique_ptr<CRWBinaryImageTable> table;
    CRWUnwindEnvironment environment{};
};

} // namespace

TEST_F(HostUnwind, OptimisedChainWithoutFramePointersMatchesTheSystemUnwinder) {
    Walks walks{&environment, {}, {}};
    optimisedChain(20, walkBoth, &walks);
    ASSERT_GT(walks.reference.size(), 22u);
    // Frame 0 of each walk is its own call site in walkBoth; from the caller on they agree.
    ASSERT_EQ(walks.ours.size(), walks.reference.size());
    for (size_t i = 1; i < walks.ours.size(); ++i)
        EXPECT_EQ(walks.ours[i], walks.reference[i]) << "frame " << i;
}

TEST_F(HostUnwind, FramePointerWalkGivesTheSameChain) {
    environment.framePointersOnly = true;
    Walks walks{&environment, {}, {}};
    framePointerChain(30, walkBoth, &walks);
    // walkBoth, 31 chain frames and the test body all keep frame pointers.
    ASSERT_GT(walks.ours.size(), 33u);
    ASSERT_GT(walks.reference.size(), 33u);
    for (size_t i = 1; i < 33; ++i)
        EXPECT_EQ(walks.ours[i], walks.reference[i]) << "frame " << i;
}

TEST_F(HostUnwind, FunctionsWithoutTablesFallBackToFramePointers) {
    Walks walks{&environment, {}, {}};
    uint64_t returnAddresses[16] = {};
    bareFramePointerChain(15, walkBoth, &walks, returnAddresses);
    ASSERT_GT(walks.ours.size(), 20u);
    for (int level = 0; level < 16; ++level)
        EXPECT_EQ(walks.ours[static_cast<size_t>(level) + 2], returnAddresses[level]);
    // Past the chain the tables take over again and the walk reaches the process's first frame.
    EXPECT_EQ(walks.ours.back(), walks.reference.back());
}

TEST_F(HostUnwind, StopsWithoutFrameForInvalidPCOrSP) {
    CRWRegisters registers{};
    registers.architecture = CRWArchitectureX86_64;
    registers.pc = 100;
    registers.values[7] = 0x7fff0000;
    CRWUnwindContext cursor;
    ASSERT_TRUE(CRWUnwindInit(&cursor, &registers, &environment));
    EXPECT_FALSE(CRWUnwindNextFrame(&cursor));
    registers.pc = 0x401000;
    registers.values[7] = 0;
    ASSERT_TRUE(CRWUnwindInit(&cursor, &registers, &environment));
    EXPECT_FALSE(CRWUnwindNextFrame(&cursor));
    EXPECT_FALSE(CRWUnwindInit(nullptr, &registers, &environment));
    EXPECT_FALSE(CRWUnwindNextFrame(nullptr));
}
