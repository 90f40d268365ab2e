#include "crash/image/CRWMachO.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWMemory.h"
#include "crash/unwind/CRWMemoryReaderCache.h"
#include "crash/unwind/CRWUnwind.h"
#include "tests/crash/support/MachOFixtures.h"
#include "tests/crash/support/UnwindTestSupport.h"

#include <gtest/gtest.h>

using namespace crashtest;

namespace {

// The crash context's internal log in a temporary folder, for the walk's messages.
class LoggedWalk : public ::testing::Test {
protected:
    void SetUp() override {
        CRWContextBaseInit();
        _crwContext.readonly->logPath = CRWDupString((home.path() / "sdk.log").c_str());
        _crwContext.readonly->reportFolder = CRWContextOpenFolder(home.path().string());
        ASSERT_NE(stack.data(), nullptr);
        memory = BufferReader{stack.address(), stack.size()};
        environment = CRWUnwindEnvironment{nullptr, nullptr, memory.reader(), false};
    }
    std::string log() const { return testsupport::readFile(home.path() / "sdk.log"); }
    uint64_t* word(uint64_t address) { return reinterpret_cast<uint64_t*>(address); }
    // A frame record at fp: the caller's frame pointer and the return address.
    void frameRecord(uint64_t fp, uint64_t callerFP, uint64_t returnAddress) {
        *word(fp) = callerFP;
        *word(fp + 8) = returnAddress;
    }
    CRWRegisters arm64(uint64_t pc, uint64_t sp, uint64_t fp, uint64_t lr) const {
        CRWRegisters r{};
        r.architecture = CRWArchitectureARM64;
        r.pc = pc;
        r.values[31] = sp;
        r.values[29] = fp;
        r.values[30] = lr;
        return r;
    }
    std::vector<uint64_t> walk(const CRWRegisters& registers, std::vector<uint32_t>* repeats = nullptr) {
        CRWUnwindContext cursor;
        EXPECT_TRUE(CRWUnwindInit(&cursor, &registers, &environment));
        std::vector<uint64_t> pcs;
        while (CRWUnwindNextFrame(&cursor) && pcs.size() < 100) {
            pcs.push_back(CRWUnwindGetPC(&cursor));
            if (repeats) repeats->push_back(CRWUnwindGetFrameRepeatCount(&cursor));
        }
        return pcs;
    }

    testsupport::TempHome home;
    LowMapping stack{0x4000};
    BufferReader memory;
    CRWUnwindEnvironment environment{};
};

} // namespace

TEST_F(LoggedWalk, InvalidPCOrSPYieldsNoFrameAndSaysSo) {
    EXPECT_TRUE(walk(arm64(100, stack.address() + 0x100, 0, 0)).empty());
    EXPECT_TRUE(walk(arm64(0x10000000, 16, 0, 0)).empty());
    EXPECT_NE(log().find("INFO  [CRWUnwindNextFrame:"), std::string::npos);
    EXPECT_NE(log().find("] Cancelling unwind for thread with invalid PC/SP\n"), std::string::npos) << log();
}

TEST_F(LoggedWalk, FramePointerChainWithLinkRegisterFirst) {
    const uint64_t base = stack.address();
    // No image knows these PCs: frame 2 comes from LR, later frames from the frame records; a
    // saved frame pointer of 0 still yields its frame and then ends the walk quietly.
    frameRecord(base + 0x200, base + 0x300, 0x10002000);
    frameRecord(base + 0x300, 0, 0x10003000);
    const std::vector<uint64_t> pcs = walk(arm64(0x10000100, base + 0x100, base + 0x200, 0x10001000));
    EXPECT_EQ(pcs, (std::vector<uint64_t>{0x10000100, 0x10001000, 0x10002000, 0x10003000}));
    EXPECT_NE(log().find("FP is zero, aborting unwind\n"), std::string::npos);
    EXPECT_EQ(log().find("ERROR"), std::string::npos) << log();
}

TEST_F(LoggedWalk, RepeatedFramesAreCounted) {
    const uint64_t base = stack.address();
    for (int i = 0; i < 9; ++i)
        frameRecord(base + 0x100 * (i + 1), base + 0x100 * (i + 2), 0x10000100);
    frameRecord(base + 0x100 * 10, 0, 0x10009000);
    std::vector<uint32_t> repeats;
    CRWRegisters registers = arm64(0x10000100, base + 0x80, base + 0x100, 0);
    const std::vector<uint64_t> pcs = walk(registers, &repeats);
    ASSERT_EQ(pcs.size(), 11u);
    EXPECT_EQ(repeats, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
    EXPECT_EQ(pcs.back(), 0x10009000u);
}

TEST_F(LoggedWalk, AFrameRecordThatNamesItselfEndsTheWalk) {
    const uint64_t base = stack.address();
    // As on the stack of a thread that is only being born: the record's saved frame pointer is
    // its own address, so every further step would yield the same frame.
    frameRecord(base + 0x200, base + 0x200, 0x10002000);
    const std::vector<uint64_t> pcs = walk(arm64(0x10000100, base + 0x100, base + 0x200, 0));
    EXPECT_EQ(pcs, (std::vector<uint64_t>{0x10000100, 0x10002000}));
    EXPECT_NE(log().find("repeats the frame before it\n"), std::string::npos) << log();
    EXPECT_NE(log().find("Failed to advance to the next frame\n"), std::string::npos);
}

TEST_F(LoggedWalk, UnreadableFrameRecordFailsTheWalk) {
    const uint64_t base = stack.address();
    frameRecord(base + 0x200, base + 0x8000, 0x10002000); // the caller's record lies outside the stack
    const std::vector<uint64_t> pcs = walk(arm64(0x10000100, base + 0x100, base + 0x200, 0));
    EXPECT_EQ(pcs.size(), 2u);
    EXPECT_NE(log().find("Unable to use frame pointer\n"), std::string::npos);
    EXPECT_NE(log().find("Failed to advance to the next frame\n"), std::string::npos);
}

TEST_F(LoggedWalk, StopsAtTheFrameLimit) {
    CRWUnwindContext cursor;
    CRWRegisters registers = arm64(0x10000100, stack.address() + 0x100, 0, 0);
    ASSERT_TRUE(CRWUnwindInit(&cursor, &registers, &environment));
    cursor.frameCount = CRWUnwindMaximumFrames - 1;
    cursor.registers.values[29] = stack.address() + 0x200;
    frameRecord(stack.address() + 0x200, 0, 0x10000200);
    EXPECT_TRUE(CRWUnwindNextFrame(&cursor));
    EXPECT_EQ(cursor.frameCount, CRWUnwindMaximumFrames);
    EXPECT_FALSE(CRWUnwindNextFrame(&cursor));
    EXPECT_NE(log().find("ERROR [CRWUnwindNextFrame:"), std::string::npos);
    EXPECT_NE(log().find("] Exceeded maximum number of frames\n"), std::string::npos);
}

// A walk through the arm64 fixture's compact unwind: a frameless leaf, a frame-based caller, the
// DWARF-only function and the frame-based function that called it.
TEST_F(LoggedWalk, CompactUnwindWalkThroughTheFixture) {
    LowMapping image(0x40000);
    ASSERT_NE(image.data(), nullptr);
    const FixtureBytes bytes = readFixture("arm64_exec");
    std::memcpy(image.data(), bytes.data(), bytes.size);
    const CRWMachOSliceRecord slice = CRWMachOSliceWithHeader(image.data(), bytes.size);
    CRWMachOSection unwindInfo{}, ehFrame{};
    ASSERT_TRUE(CRWMachOSliceInitSectionByName(&slice, "__TEXT", "__unwind_info", &unwindInfo));
    ASSERT_TRUE(CRWMachOSliceInitSectionByName(&slice, "__TEXT", "__eh_frame", &ehFrame));
    static CRWBinaryImageSlot fixture;
    fixture = CRWBinaryImageSlot{};
    fixture.baseAddress = image.address();
    fixture.size = 0x8000;
    fixture.unwindInfo = image.address() + unwindInfo.offset;
    fixture.unwindInfoSize = unwindInfo.size;
    fixture.unwindSegmentStart = image.address() + ehFrame.offset;
    fixture.unwindSegmentEnd = fixture.unwindSegmentStart + ehFrame.size;
    environment.findImage = [](void*, uint64_t address, CRWBinaryImageSlot* slot) {
        if (address < fixture.baseAddress || address - fixture.baseAddress >= fixture.size) return false;
        *slot = fixture;
        return true;
    };

    // Offsets from the fixture's unwind listing: 0x5e8 frameless (leaf), 0x624 frame-based with
    // x19/x20 (framed), 0x5194 DWARF (odd_frame), 0x698 frame-based.
    const uint64_t base = image.address(), sp = stack.address();
    const uint64_t leafPC = base + 0x5e8 + 4, framedReturn = base + 0x624 + 0x10;
    const uint64_t oddPC = base + 0x5194 + 12, oddReturn = base + 0x698 + 8;
    // framed's frame record at sp+0x100 returns into odd_frame's caller chain:
    frameRecord(sp + 0x100, sp + 0x400, oddPC + 4); // return address inside odd_frame, past the mov
    // odd_frame: CFA = x1 + 32 with FP and LR at CFA-16 and CFA-8.
    frameRecord(sp + 0x200 + 16, sp + 0x500, oddReturn);
    frameRecord(sp + 0x500, 0, base + 0x9000);
    CRWRegisters registers = arm64(leafPC, sp + 0x80, sp + 0x100, framedReturn);
    registers.values[1] = sp + 0x200;
    const std::vector<uint64_t> pcs = walk(registers);
    ASSERT_GE(pcs.size(), 4u) << log();
    EXPECT_EQ(pcs[0], leafPC);
    EXPECT_EQ(pcs[1], framedReturn); // frameless: LR
    EXPECT_EQ(pcs[2], oddPC + 4);    // frame-based: the frame record at FP
    EXPECT_EQ(pcs[3], oddReturn);    // DWARF: LR saved at CFA - 8
}

TEST(CRWMemoryReaderCache, ServesWholeLinesAndFallsBackAtTheirEdges) {
    LowMapping region(0x3000);
    ASSERT_NE(region.data(), nullptr);
    for (size_t i = 0; i < region.size(); ++i)
        region.data()[i] = static_cast<uint8_t>(i * 7);
    // The last page is unreadable: a line fetch there fails, exact reads before it still work.
    ASSERT_EQ(mprotect(region.data() + 0x2000, 0x1000, PROT_NONE), 0);
    int innerReads = 0;
    struct Counting {
        int* reads;
    } counting{&innerReads};
    const CRWMemoryReader inner{[](void* context, uint64_t address, void* out, size_t length) {
                                    ++*static_cast<Counting*>(context)->reads;
                                    return CRWReadMemory(address, out, length);
                                },
                                &counting};
    CRWMemoryReaderCache cache;
    CRWMemoryReaderCacheInit(&cache, &inner);
    const CRWMemoryReader reader = CRWMemoryReaderCacheReader(&cache);
    uint64_t value = 0, expected = 0;
    for (uint64_t offset : {0x10, 0x18, 0x800, 0xFF8}) {
        ASSERT_TRUE(CRWMemoryReaderRead(&reader, region.address() + offset, &value, 8));
        std::memcpy(&expected, region.data() + offset, 8);
        EXPECT_EQ(value, expected);
    }
    EXPECT_EQ(innerReads, 1); // one page served all four
    // A read that spans two lines goes straight to the inner reader.
    ASSERT_TRUE(CRWMemoryReaderRead(&reader, region.address() + 0xFFC, &value, 8));
    std::memcpy(&expected, region.data() + 0xFFC, 8);
    EXPECT_EQ(value, expected);
    EXPECT_FALSE(CRWMemoryReaderRead(&reader, region.address() + 0x2000, &value, 8));
    EXPECT_FALSE(CRWMemoryReaderRead(&reader, region.address() + 0x1FFC, &value, 8));
    mprotect(region.data() + 0x2000, 0x1000, PROT_READ | PROT_WRITE);
}
