#include "crash/image/CRWMachO.h"
#include "tests/crash/support/MachOFixtures.h"
#include "tests/crash/support/Mutator.h"
#include "tests/crash/support/ParserExercises.h"
#include "tests/crash/unwind/DwarfFrames.h"

#include <gtest/gtest.h>

using namespace crashtest;

namespace {

std::vector<uint8_t> fixtureSection(const char* name) {
    const FixtureBytes bytes = readFixture("arm64_exec");
    const CRWMachOSliceRecord slice = CRWMachOSliceWithHeader(bytes.data(), bytes.size);
    CRWMachOSection section{};
    EXPECT_TRUE(CRWMachOSliceInitSectionByName(&slice, "__TEXT", name, &section));
    return std::vector<uint8_t>(bytes.data() + section.offset, bytes.data() + section.offset + section.size);
}

} // namespace

// 100,000 damaged compact-unwind sections: the linker's two pages and a hand-made page.
TEST(CRWUnwindMutation, DamagedCompactUnwindPagesNeverCrash) {
    ByteBuilder small;
    small.u32(1).u32(28).u32(1).u32(32).u32(0).u32(32).u32(2).u32(0x04000000);
    small.u32(0x1000).u32(56).u32(0).u32(0x1100).u32(0).u32(0);
    small.u32(3).u16(12).u16(2).u16(20).u16(1).u32(0x00000000).u32(0x01000010).u32(0x02001000);
    const uint64_t before = exerciseSink;
    runMutations({fixtureSection("__unwind_info"), small.data}, 100000, 0x5EED0140, exerciseCompactUnwind);
    EXPECT_NE(exerciseSink, before);
}

// 100,000 damaged CIE/FDE sequences: the fixture's eh_frame and a built one that uses every
// supported instruction, expression rules included.
TEST(CRWUnwindMutation, DamagedCallFrameRecordsNeverCrash) {
    EhFrameBuilder frames;
    frames.addCIE({.augmentation = "zR",
                   .pointerEncoding = 0x1B,
                   .codeAlign = 1,
                   .returnRegister = 16,
                   .instructions = {0x0C, 7, 8, 0x90, 1}});
    frames.addFDE(0x10, 0x40,
                  {0x41, 0x0E, 16,   0x86, 2,    0x41, 0x0A, 0x0E, 8,  0xC6, 0x41, 0x0B, 0x2E, 8,    0x05, 3,
                   3,    0x11, 12,   0x7D, 0x12, 6,    0x7E, 0x06, 12, 0x07, 13,   0x08, 14,   0x09, 15,   3,
                   0x02, 1,    0x03, 1,    0,    0x04, 1,    0,    0,  0,    0x13, 0x7F, 0x0D, 7});
    frames.addFDE(0x60, 0x20, {0x0F, 11,   0x77, 8, 0x80, 0,    0x3F, 0x1A, 0x3B, 0x2A, 0x33, 0x24,
                               0x22, 0x10, 6,    3, 0x76, 0x10, 0x06, 0x16, 5,    2,    0x70, 8});
    const uint64_t before = exerciseSink;
    runMutations({frames.bytes, fixtureSection("__eh_frame")}, 100000, 0x5EED0145, exerciseEhFrame);
    EXPECT_NE(exerciseSink, before);
}

// 100,000 damaged expressions built from every supported opcode.
TEST(CRWUnwindMutation, DamagedExpressionsNeverCrash) {
    const std::vector<uint8_t> ops = {0x77, 8,    0x80, 0,    0x3F, 0x1A, 0x3B, 0x2A, 0x33,
                                      0x24, 0x22, 0x12, 0x16, 0x2E, 0x23, 0x90, 0x01, 0x70,
                                      0x10, 0x06, 0x70, 0x00, 0x94, 4,    0x31, 0x22};
    ByteBuilder expression;
    expression.uleb(ops.size()).raw(ops.data(), ops.size()).u64(0).u64(0);
    const uint64_t before = exerciseSink;
    runMutations({expression.data}, 100000, 0x5EED0146, exerciseExpression);
    EXPECT_NE(exerciseSink, before);
}
