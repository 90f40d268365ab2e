#include "crash/image/CRWMachO.h"
#include "crash/unwind/CRWCompactUnwind.h"
#include "crash/unwind/CRWDwarfCFI.h"
#include "tests/crash/support/MachOFixtures.h"
#include "tests/crash/support/UnwindTestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace crashtest;

namespace {

struct ListedEntry {
    uint32_t functionOffset;
    uint32_t encoding;
    bool lastOfPage;
};

// The second-level entries that llvm-objdump --unwind-info lists, and the first-level offsets.
void readUnwindListing(std::vector<ListedEntry>* entries, std::vector<uint32_t>* firstLevel) {
    std::istringstream in(testsupport::readFile(fixtureDirectory() / "arm64_exec.unwind"));
    const std::regex top(R"(\[\d+\]: function offset=(0x[0-9a-f]+), 2nd level page offset)");
    const std::regex second(R"(\[\d+\]: function offset=(0x[0-9a-f]+), encoding\[\d+\]=(0x[0-9a-f]+))");
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
        if (line.find("Second level index[") != std::string::npos && !entries->empty())
            entries->back().lastOfPage = true;
        if (std::regex_search(line, match, top))
            firstLevel->push_back(parseNumber(match[1]));
        else if (std::regex_search(line, match, second))
            entries->push_back({static_cast<uint32_t>(parseNumber(match[1])),
                                static_cast<uint32_t>(parseNumber(match[2])), false});
    }
    if (!entries->empty()) entries->back().lastOfPage = true;
}

// The arm64 fixture copied below 2^36 with a stack page after it, its sections located.
class CompactUnwindFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const FixtureBytes bytes = readFixture("arm64_exec");
        ASSERT_NE(memory.data(), nullptr);
        ASSERT_LT(bytes.size + kStackSize, memory.size());
        std::memcpy(memory.data(), bytes.data(), bytes.size);
        const CRWMachOSliceRecord slice = CRWMachOSliceWithHeader(memory.data(), bytes.size);
        CRWMachOSection unwindInfo{}, ehFrame{};
        ASSERT_TRUE(CRWMachOSliceInitSectionByName(&slice, "__TEXT", "__unwind_info", &unwindInfo));
        ASSERT_TRUE(CRWMachOSliceInitSectionByName(&slice, "__TEXT", "__eh_frame", &ehFrame));
        unwindInfoAddress = base() + unwindInfo.offset;
        unwindInfoSize = unwindInfo.size;
        ehFrameAddress = base() + ehFrame.offset;
        ehFrameSize = ehFrame.size;
        stack = base() + memory.size() - kStackSize;
        stackMemory = BufferReader{stack, kStackSize};
        reader = stackMemory.reader();
        ASSERT_TRUE(init());
        readUnwindListing(&entries, &firstLevel);
        ASSERT_GT(entries.size(), 1000u);
    }
    bool init() {
        return CRWCompactUnwindInit(&context, unwindInfoAddress, unwindInfoSize, ehFrameAddress, ehFrameSize,
                                    base(), &reader);
    }
    uint64_t base() const { return memory.address(); }
    const ListedEntry& entryWith(uint32_t encoding) const {
        for (const ListedEntry& entry : entries)
            if (entry.encoding == encoding) return entry;
        ADD_FAILURE() << "no entry with encoding " << std::hex << encoding;
        return entries.front();
    }
    CRWRegisters registersAt(uint64_t pc) const {
        CRWRegisters r{};
        r.architecture = CRWArchitectureARM64;
        r.pc = pc;
        r.values[31] = stack + 0x100;
        r.values[30] = base() + 0x700; // somewhere in the text
        return r;
    }
    uint64_t* word(uint64_t address) { return reinterpret_cast<uint64_t*>(address); }

    static constexpr uint64_t kStackSize = 0x1000;
    LowMapping memory{0x40000};
    uint64_t unwindInfoAddress = 0, unwindInfoSize = 0, ehFrameAddress = 0, ehFrameSize = 0, stack = 0;
    BufferReader stackMemory;
    CRWMemoryReader reader{};
    CRWCompactUnwindContext context{};
    std::vector<ListedEntry> entries;
    std::vector<uint32_t> firstLevel;
};

} // namespace

TEST_F(CompactUnwindFixture, EveryListedFunctionHasTheListedEncodingAndRange) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const ListedEntry& entry = entries[i];
        uint32_t end = 0;
        if (!entry.lastOfPage) {
            end = entries[i + 1].functionOffset;
        } else {
            // The page's last function ends where the next first-level entry begins.
            for (uint32_t offset : firstLevel)
                if (offset > entry.functionOffset) {
                    end = offset;
                    break;
                }
        }
        ASSERT_GT(end, entry.functionOffset);
        for (uint64_t pc : {base() + entry.functionOffset, base() + end - 1}) {
            CRWCompactUnwindResult result{};
            ASSERT_TRUE(CRWCompactUnwindLookup(&context, pc, &result)) << std::hex << entry.functionOffset;
            EXPECT_EQ(result.encoding, entry.encoding);
            EXPECT_EQ(result.functionStart, base() + entry.functionOffset);
            EXPECT_EQ(result.functionEnd, base() + end);
        }
    }
    CRWCompactUnwindResult result{};
    EXPECT_FALSE(CRWCompactUnwindLookup(&context, base() + firstLevel.back(), &result));
    EXPECT_FALSE(CRWCompactUnwindLookup(&context, base() + firstLevel.front() - 4, &result));
}

TEST_F(CompactUnwindFixture, FramelessFunctionsReturnToLR) {
    CRWRegisters r = registersAt(base() + entryWith(0x02000000).functionOffset);
    const CRWRegisters before = r;
    ASSERT_TRUE(CRWCompactUnwindLookupAndCompute(&context, &r));
    EXPECT_EQ(r.pc, before.values[30]);
    EXPECT_EQ(r.values[31], before.values[31]);

    // 0x02011010: a fixed frame of 0x11 x 16 bytes lies between SP and the caller's SP.
    r = registersAt(base() + entryWith(0x02011010).functionOffset + 8);
    ASSERT_TRUE(CRWCompactUnwindLookupAndCompute(&context, &r));
    EXPECT_EQ(r.pc, before.values[30]);
    EXPECT_EQ(r.values[31], before.values[31] + 0x110);
}

TEST_F(CompactUnwindFixture, FrameBasedFunctionsFollowTheFramePointer) {
    CRWRegisters r = registersAt(base() + entryWith(0x04000001).functionOffset + 12);
    const uint64_t fp = stack + 0x200;
    r.values[29] = fp;
    *word(fp) = stack + 0x300;
    *word(fp + 8) = base() + 0x1234;
    ASSERT_TRUE(CRWCompactUnwindLookupAndCompute(&context, &r));
    EXPECT_EQ(r.pc, base() + 0x1234);
    EXPECT_EQ(r.values[29], stack + 0x300);
    EXPECT_EQ(r.values[31], fp + 16);

    // A frame pointer outside readable memory fails the step.
    r = registersAt(base() + entryWith(0x04000000).functionOffset);
    r.values[29] = stack + kStackSize;
    EXPECT_FALSE(CRWCompactUnwindLookupAndCompute(&context, &r));
}

TEST_F(CompactUnwindFixture, DwarfModeUsesTheFunctionsFDE) {
    const ListedEntry& entry = entryWith(0x03000014);
    EXPECT_TRUE(entry.lastOfPage);
    // The FDE the encoding names matches llvm-objdump's eh_frame listing.
    const std::string frames = testsupport::readFile(fixtureDirectory() / "arm64_exec.frames");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        frames, match, std::regex(R"(00000014 .* FDE cie=00000000 pc=([0-9a-f]+)\.\.\.([0-9a-f]+))")));
    const uint64_t listedStart = std::stoull(match[1], nullptr, 16) - 0x100000000;
    const uint64_t listedEnd = std::stoull(match[2], nullptr, 16) - 0x100000000;
    const CRWDwarfSection section{ehFrameAddress, ehFrameAddress + ehFrameSize, &reader};
    CRWDwarfCFIRecord record;
    ASSERT_TRUE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, 0x14));
    EXPECT_EQ(record.fde.pcStart, base() + listedStart);
    EXPECT_EQ(record.fde.pcRange, listedEnd - listedStart);
    EXPECT_EQ(listedStart, entry.functionOffset);

    // After "mov x1, sp" the CFA is x1 + 32, with FP and LR saved below it.
    CRWRegisters r = registersAt(base() + entry.functionOffset + 12);
    const uint64_t frame = stack + 0x400;
    r.values[1] = frame;
    *word(frame + 16) = stack + 0x800;
    *word(frame + 24) = base() + 0x2468;
    ASSERT_TRUE(CRWCompactUnwindLookupAndCompute(&context, &r));
    EXPECT_EQ(r.values[31], frame + 32);
    EXPECT_EQ(r.values[29], stack + 0x800);
    EXPECT_EQ(r.pc, base() + 0x2468);
    EXPECT_EQ(r.values[30], base() + 0x2468);
}

TEST_F(CompactUnwindFixture, InitRejectsBadInputs) {
    CRWCompactUnwindContext other;
    EXPECT_FALSE(CRWCompactUnwindInit(nullptr, unwindInfoAddress, unwindInfoSize, 0, 0, base(), &reader));
    EXPECT_FALSE(CRWCompactUnwindInit(&other, 0, unwindInfoSize, 0, 0, base(), &reader));
    EXPECT_FALSE(CRWCompactUnwindInit(&other, unwindInfoAddress, unwindInfoSize, 0, 0, 0, &reader));
    EXPECT_FALSE(CRWCompactUnwindInit(&other, unwindInfoAddress, 27, 0, 0, base(), &reader));
    uint32_t* version = reinterpret_cast<uint32_t*>(unwindInfoAddress);
    *version = 2;
    EXPECT_FALSE(init());
}

// Hand-made sections for what the linker did not produce.
namespace {

struct SyntheticInfo {
    ByteBuilder bytes;
    // Header, two common encodings, index [0x1000 -> page, 0x2000 sentinel], then the page.
    explicit SyntheticInfo(uint32_t pageKind, std::vector<uint32_t> entries,
                           std::vector<uint32_t> pageEncodings) {
        bytes.u32(1).u32(28).u32(2).u32(36).u32(0).u32(36).u32(2);
        bytes.u32(0x02000000).u32(0x04000000);
        const uint32_t page = 36 + 24;
        bytes.u32(0x1000).u32(page).u32(0).u32(0x2000).u32(0).u32(0);
        const uint16_t entriesOffset = 12;
        const uint16_t encodingsOffset = static_cast<uint16_t>(12 + 4 * entries.size());
        bytes.u32(pageKind).u16(entriesOffset).u16(static_cast<uint16_t>(entries.size()));
        bytes.u16(encodingsOffset).u16(static_cast<uint16_t>(pageEncodings.size()));
        for (uint32_t e : entries)
            bytes.u32(e);
        for (uint32_t e : pageEncodings)
            bytes.u32(e);
    }
    bool lookup(uint64_t pcOffset, CRWCompactUnwindResult* result) {
        const uint64_t load = 0x100000;
        CRWCompactUnwindContext context;
        if (!CRWCompactUnwindInit(&context, reinterpret_cast<uintptr_t>(bytes.data.data()), bytes.size(), 0,
                                  0, load, nullptr))
            return false;
        return CRWCompactUnwindLookup(&context, load + pcOffset, result);
    }
};

} // namespace

TEST(CRWCompactUnwind, PageEncodingsAndTheirIndexBounds) {
    // Entry 0 at the page base uses common encoding 1; entry 1 the page's own first encoding;
    // entry 2 an index past both arrays.
    SyntheticInfo info(3, {0x01000000, 0x02000010, 0x04000020}, {0x03000040});
    CRWCompactUnwindResult result{};
    ASSERT_TRUE(info.lookup(0x1000, &result)); // a PC equal to the page base
    EXPECT_EQ(result.encoding, 0x04000000u);
    EXPECT_EQ(result.functionStart, 0x101000u);
    EXPECT_EQ(result.functionEnd, 0x101010u);
    ASSERT_TRUE(info.lookup(0x101F, &result));
    EXPECT_EQ(result.encoding, 0x03000040u);
    EXPECT_FALSE(info.lookup(0x1020, &result)); // index 4 of 2 + 1 encodings
    EXPECT_FALSE(info.lookup(0x0FFF, &result));
}

TEST(CRWCompactUnwind, RegularAndUnknownPagesAreNotRead) {
    CRWCompactUnwindResult result{};
    SyntheticInfo regular(2, {0x00000000}, {});
    EXPECT_FALSE(regular.lookup(0x1000, &result));
    SyntheticInfo unknown(7, {0x00000000}, {});
    EXPECT_FALSE(unknown.lookup(0x1000, &result));
    SyntheticInfo empty(3, {}, {});
    EXPECT_FALSE(empty.lookup(0x1000, &result));
    // A zero encoding means "no unwind information".
    SyntheticInfo zero(3, {0x00000000}, {0});
    zero.bytes.patch32(28, 0);
    EXPECT_FALSE(zero.lookup(0x1000, &result));
    // Entries that run past the section.
    SyntheticInfo cut(3, {0x01000000}, {});
    cut.bytes.data[36 + 24 + 6] = 0xFF;
    EXPECT_FALSE(cut.lookup(0x1000, &result));
}
