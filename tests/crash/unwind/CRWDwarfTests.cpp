#include "crash/unwind/CRWDataParsing.h"
#include "crash/unwind/CRWDwarfCFI.h"
#include "crash/unwind/CRWDwarfExpression.h"
#include "crash/unwind/CRWDwarfUnwind.h"
#include "tests/crash/unwind/DwarfFrames.h"

#include <gtest/gtest.h>

using namespace crashtest;

namespace {

CRWByteCursor cursorOver(const std::vector<uint8_t>& bytes) {
    const uint64_t start = reinterpret_cast<uintptr_t>(bytes.data());
    return CRWByteCursor{start, start + bytes.size()};
}

CRWRegisters x86Registers() {
    CRWRegisters r{};
    r.architecture = CRWArchitectureX86_64;
    return r;
}

// Evaluates an expression given as opcode bytes (the length is prepended).
bool evaluate(const std::vector<uint8_t>& ops, const CRWRegisters& registers, const CRWMemoryReader* reader,
              uint64_t initial, uint64_t* result) {
    ByteBuilder b;
    b.uleb(ops.size()).raw(ops.data(), ops.size());
    const uint64_t start = reinterpret_cast<uintptr_t>(b.data.data());
    return CRWDwarfEvalulateExpression(start, start + b.size(), &registers, reader, initial, result);
}

} // namespace

TEST(CRWDataParsing, LEB128ReadsUpToTenBytesThenFails) {
    ByteBuilder max;
    max.uleb(~uint64_t{0});
    ASSERT_EQ(max.size(), 10u);
    CRWByteCursor cursor = cursorOver(max.data);
    uint64_t value = 0;
    ASSERT_TRUE(CRWParseULEB128AndAdvance(&cursor, &value));
    EXPECT_EQ(value, ~uint64_t{0});
    EXPECT_EQ(cursor.position, cursor.end);

    std::vector<uint8_t> eleven(10, 0x80);
    eleven.push_back(0x01);
    cursor = cursorOver(eleven);
    EXPECT_FALSE(CRWParseULEB128AndAdvance(&cursor, &value));
    std::vector<uint8_t> cut = {0x80, 0x80};
    cursor = cursorOver(cut);
    EXPECT_FALSE(CRWParseULEB128AndAdvance(&cursor, &value));

    for (int64_t expected : {int64_t{-1}, int64_t{-64}, int64_t{63}, int64_t{-129}, INT64_MIN, INT64_MAX}) {
        ByteBuilder b;
        b.sleb(expected);
        cursor = cursorOver(b.data);
        int64_t signedValue = 0;
        ASSERT_TRUE(CRWParseLEB128AndAdvance(&cursor, &signedValue));
        EXPECT_EQ(signedValue, expected);
    }
}

TEST(CRWDataParsing, PointerEncodings) {
    ByteBuilder b;
    b.u32(0xFFFFFFF0).u16(0x8001).uleb(300).u64(0x1122334455667788);
    CRWByteCursor cursor = cursorOver(b.data);
    const uint64_t start = cursor.position;
    // PC-relative signed 32-bit: relative to the field's own address.
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x1B, nullptr), start - 16);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x0A, nullptr),
              static_cast<uint64_t>(int64_t{-32767}));
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x01, nullptr), 300u);
    const CRWPointerEncodingBases bases{0x1000, nullptr};
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x30, &bases), 0x1122334455668788u);
    EXPECT_EQ(cursor.position, cursor.end);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0xFF, nullptr), 0u);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x03, nullptr),
              CRWInvalidAddress); // no bytes left
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(nullptr, 0x03, nullptr), CRWInvalidAddress);
    cursor = cursorOver(b.data);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x05, nullptr), CRWInvalidAddress);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x43, nullptr), CRWInvalidAddress);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x33, nullptr),
              CRWInvalidAddress); // no data base

    // Indirect: the value is the address of the pointer, read through the reader.
    uint64_t target = 0xABCDEF;
    ByteBuilder indirect;
    indirect.u64(reinterpret_cast<uintptr_t>(&target));
    BufferReader memory{reinterpret_cast<uintptr_t>(&target), sizeof target};
    const CRWMemoryReader reader = memory.reader();
    const CRWPointerEncodingBases withReader{0, &reader};
    cursor = cursorOver(indirect.data);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x80, &withReader), 0xABCDEFu);
    cursor = cursorOver(indirect.data);
    EXPECT_EQ(CRWParseAddressWithEncodingAndAdvance(&cursor, 0x80, nullptr), CRWInvalidAddress);

    ByteBuilder length;
    length.u32(0xFFFFFFFF).u64(0x123456789);
    cursor = cursorOver(length.data);
    uint64_t recordLength = 0;
    ASSERT_TRUE(CRWParseRecordLengthAndAdvance(&cursor, &recordLength));
    EXPECT_EQ(recordLength, 0x123456789u);
    EXPECT_EQ(cursor.position, cursor.end);
}

TEST(CRWDwarfCFI, PCRelativeStartsAndAugmentations) {
    EhFrameBuilder frames;
    frames.addCIE({.augmentation = "zR", .pointerEncoding = 0x1B, .instructions = {0x0C, 31, 0}});
    const size_t fde = frames.addFDE(0xFFFFFF00, 0x40, {});
    const CRWDwarfSection section = frames.section();
    CRWDwarfCFIRecord record;
    ASSERT_TRUE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
    EXPECT_EQ(record.cie.pointerEncoding, 0x1B);
    EXPECT_EQ(record.cie.codeAlignFactor, 4u);
    EXPECT_EQ(record.cie.dataAlignFactor, -8);
    EXPECT_EQ(record.cie.returnAddressRegister, 30u);
    EXPECT_EQ(record.cie.instructions.length, 3u);
    EXPECT_EQ(record.fde.pcStart, frames.address(fde + 8) - 0x100);
    EXPECT_EQ(record.fde.pcRange, 0x40u);
    EXPECT_EQ(record.fde.instructions.length, 0u);

    EhFrameBuilder eh;
    eh.addCIE({.augmentation = "eh", .instructions = {}});
    const size_t ehFde = eh.addFDE(0x1000, 0x10, {});
    const CRWDwarfSection ehSection = eh.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &ehSection, ehFde));

    EhFrameBuilder v3;
    v3.addCIE({.augmentation = "", .returnRegister = 300, .version = 3, .instructions = {}});
    const size_t v3Fde = v3.addFDE(0x1000, 0x10, {0x00});
    const CRWDwarfSection v3Section = v3.section();
    ASSERT_TRUE(CRWDwarfParseCFIFromFDERecordOffset(&record, &v3Section, v3Fde));
    EXPECT_EQ(record.cie.returnAddressRegister, 300u);
    EXPECT_EQ(record.fde.pcStart, 0x1000u);

    EhFrameBuilder v2;
    v2.addCIE({.version = 2, .instructions = {}});
    const size_t v2Fde = v2.addFDE(0x1000, 0x10, {});
    const CRWDwarfSection v2Section = v2.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &v2Section, v2Fde));
}

TEST(CRWDwarfCFI, DamagedRecordsFail) {
    EhFrameBuilder frames;
    frames.addCIE({});
    const size_t fde = frames.addFDE(0x1000, 0x10, {0x00});
    CRWDwarfCFIRecord record;
    CRWDwarfSection section = frames.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, 0));                   // offset 0
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, frames.bytes.size())); // past the end
    // A CIE pointer that leads before the section.
    std::vector<uint8_t> saved = frames.bytes;
    frames.bytes[fde + 4] = 0xF0;
    section = frames.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
    // A length that runs past the section.
    frames.bytes = saved;
    frames.bytes[fde] = 0xF0;
    section = frames.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
    // An FDE that is really a CIE (pointer 0), and a zero-length record.
    frames.bytes = saved;
    section = frames.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecord(&record, &section, section.start));
    frames.bytes[fde] = frames.bytes[fde + 1] = 0;
    section = frames.section();
    EXPECT_FALSE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
}

// The frame table of a function: the CIE says CFA = SP; the FDE's prologue moves it.
class DwarfFrameRows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(stack.data(), nullptr);
        frames.addCIE({.augmentation = "zR", .instructions = {0x0C, 31, 0}});
        // advance 1 (x4), def_cfa_offset 16, advance 1, offset r29 2 (x -8), offset r30 1.
        fde = frames.addFDE(kStart, 0x40, {0x41, 0x0E, 16, 0x41, 0x80 | 29, 2, 0x80 | 30, 1});
        section = frames.section(&reader);
        ASSERT_TRUE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
        memory = BufferReader{stack.address(), stack.size()};
        reader = memory.reader();
        record.reader = &reader;
        sp = stack.address() + 0x100;
        words(sp)[0] = 0x1111000; // saved FP at CFA - 16
        words(sp)[1] = 0x2222000; // saved LR at CFA - 8
        registers = CRWRegisters{};
        registers.architecture = CRWArchitectureARM64;
        registers.values[31] = sp;
        registers.values[29] = 0x9999000;
        registers.values[30] = 0x8888000;
    }
    static uint64_t* words(uint64_t address) { return reinterpret_cast<uint64_t*>(address); }
    CRWDwarfState rowAt(int64_t pcOffset) {
        CRWDwarfState state;
        CRWDwarfStateInit(&state);
        EXPECT_TRUE(CRWDwarfInstructionsEnumerate(&record.cie.instructions, &record.cie, &reader, &state,
                                                  nullptr, kStart, false, 0));
        CRWDwarfState initial = state;
        EXPECT_TRUE(CRWDwarfInstructionsEnumerate(&record.fde.instructions, &record.cie, &reader, &state,
                                                  &initial, kStart, true, pcOffset));
        return state;
    }

    static constexpr uint64_t kStart = 0x10000000;
    LowMapping stack{0x1000};
    EhFrameBuilder frames;
    size_t fde = 0;
    CRWDwarfSection section{};
    CRWDwarfCFIRecord record{};
    BufferReader memory;
    CRWMemoryReader reader{};
    CRWRegisters registers{};
    uint64_t sp = 0;
};

TEST_F(DwarfFrameRows, RowsApplyAtOrBeforeThePC) {
    CRWDwarfState row = rowAt(0);
    EXPECT_EQ(row.cfaRegister, 31u);
    EXPECT_EQ(row.cfaRegisterOffset, 0u);
    row = rowAt(4); // the row that starts exactly at the PC applies
    EXPECT_EQ(row.cfaRegisterOffset, 16u);
    EXPECT_EQ(CRWDwarfStateRule(&row, 29)->location, CRWDwarfRegisterUnused);
    row = rowAt(6);
    EXPECT_EQ(row.cfaRegisterOffset, 16u);
    EXPECT_EQ(CRWDwarfStateRule(&row, 30)->location, CRWDwarfRegisterUnused);
    row = rowAt(8);
    EXPECT_EQ(CRWDwarfStateRule(&row, 29)->location, CRWDwarfRegisterInCFA);
    EXPECT_EQ(static_cast<int64_t>(CRWDwarfStateRule(&row, 29)->value), -16);
    EXPECT_EQ(static_cast<int64_t>(CRWDwarfStateRule(&row, 30)->value), -8);
}

TEST_F(DwarfFrameRows, CallerRegistersComeFromTheCFA) {
    registers.pc = kStart + 12;
    ASSERT_TRUE(CRWDwarfUnwindComputeRegisters(&record, &registers));
    EXPECT_EQ(registers.values[31], sp + 16);
    EXPECT_EQ(registers.values[29], 0x1111000u);
    EXPECT_EQ(registers.values[30], 0x2222000u);
    EXPECT_EQ(registers.pc, 0x2222000u);

    // In the prologue LR still holds the return address: no rule for it means no progress.
    SetUp();
    registers.pc = kStart + 4;
    EXPECT_FALSE(CRWDwarfUnwindComputeRegisters(&record, &registers));
    EXPECT_EQ(registers.values[31], sp); // untouched on failure
    registers.pc = kStart - 4;
    EXPECT_FALSE(CRWDwarfUnwindComputeRegisters(&record, &registers));
}

TEST_F(DwarfFrameRows, UnreadableSavedSlotsGiveZero) {
    registers.values[31] = stack.address() + stack.size() + 64; // both saved slots lie past the stack
    registers.pc = kStart + 12;
    ASSERT_TRUE(CRWDwarfUnwindComputeRegisters(&record, &registers));
    EXPECT_EQ(registers.pc, 0u);
    EXPECT_EQ(registers.values[29], 0u);
}

TEST(CRWDwarfInstructions, StateStackRestoreAndExtendedForms) {
    EhFrameBuilder frames;
    // CIE: CFA = rsp + 8, return address at CFA - 8.
    frames.addCIE(
        {.augmentation = "zR", .codeAlign = 1, .returnRegister = 16, .instructions = {0x0C, 7, 8, 0x90, 1}});
    const std::vector<uint8_t> body = {
        0x41, 0x0E, 16,   0x86, 2, // push rbp: CFA+16, rbp at CFA-16
        0x41, 0x0A,                // remember
        0x0E, 8,    0xC6,          //   epilogue: CFA+8, restore rbp
        0x05, 3,    3,             //   offset_extended rbx, 3 x -8 = -24
        0x41, 0x0B,                // restore_state
        0x2E, 32,                  // GNU_args_size
        0x11, 12,   0x7D,          // offset_extended_sf r12, -3 x -8 = +24
        0x12, 6,    0x7E,          // def_cfa_sf rbp, -2 x -8 = 16
        0x06, 12,                  // restore_extended r12 (no rule in the CIE)
        0x07, 13,                  // undefined r13
    };
    const size_t fde = frames.addFDE(0x400000, 0x100, body);
    const CRWDwarfSection section = frames.section();
    CRWDwarfCFIRecord record;
    ASSERT_TRUE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
    auto row = [&](int64_t offset) {
        CRWDwarfState state;
        CRWDwarfStateInit(&state);
        EXPECT_TRUE(CRWDwarfInstructionsEnumerate(&record.cie.instructions, &record.cie, nullptr, &state,
                                                  nullptr, 0x400000, false, 0));
        const CRWDwarfState initial = state;
        EXPECT_TRUE(CRWDwarfInstructionsEnumerate(&record.fde.instructions, &record.cie, nullptr, &state,
                                                  &initial, 0x400000, true, offset));
        return state;
    };
    CRWDwarfState state = row(2);
    EXPECT_EQ(state.cfaRegisterOffset, 8u);
    EXPECT_EQ(CRWDwarfStateRule(&state, 6)->location, CRWDwarfRegisterUnused);
    EXPECT_EQ(static_cast<int64_t>(CRWDwarfStateRule(&state, 3)->value), -24);
    state = row(3);
    EXPECT_EQ(state.cfaRegister, 6u);
    EXPECT_EQ(state.cfaRegisterOffset, 16u);
    EXPECT_EQ(CRWDwarfStateRule(&state, 6)->location, CRWDwarfRegisterInCFA);
    EXPECT_EQ(CRWDwarfStateRule(&state, 3)->location, CRWDwarfRegisterUnused); // dropped by restore_state
    EXPECT_EQ(CRWDwarfStateRule(&state, 12)->location, CRWDwarfRegisterUnused);
    EXPECT_EQ(CRWDwarfStateRule(&state, 13)->location, CRWDwarfRegisterUndefined);
    EXPECT_EQ(CRWDwarfStateRule(&state, 16)->location, CRWDwarfRegisterInCFA);
}

TEST(CRWDwarfInstructions, UnsupportedAndDamagedInstructionsFail) {
    EhFrameBuilder frames;
    frames.addCIE({});
    for (const std::vector<uint8_t>& body : std::vector<std::vector<uint8_t>>{
             {0x14, 1, 1},                   // val_offset
             {0x2D},                         // GNU_window_save
             {0x3F},                         // unknown
             {0x80 | 40, 1},                 // offset of register 40
             {0x09, 1, 33},                  // register into 33
             {0x0B},                         // restore_state with nothing remembered
             {0x0A, 0x0A, 0x0A, 0x0A, 0x0A}, // remembered deeper than the stack
             {0x0E},                         // operand missing
             {0x10, 3, 20, 1},               // expression longer than the instructions
         }) {
        const size_t fde = frames.addFDE(0x1000, 0x100, body);
        const CRWDwarfSection section = frames.section();
        CRWDwarfCFIRecord record;
        ASSERT_TRUE(CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fde));
        CRWDwarfState state;
        CRWDwarfStateInit(&state);
        EXPECT_FALSE(CRWDwarfInstructionsEnumerate(&record.fde.instructions, &record.cie, nullptr, &state,
                                                   nullptr, 0x1000, true, 0x100))
            << int(body[0]);
    }
}

TEST(CRWDwarfExpression, StackOperationsAndReads) {
    uint64_t slot[2] = {0xFEEDFACE12345678, 0};
    BufferReader memory{reinterpret_cast<uintptr_t>(slot), sizeof slot};
    const CRWMemoryReader reader = memory.reader();
    CRWRegisters r = x86Registers();
    r.values[7] = reinterpret_cast<uintptr_t>(slot) - 16;
    uint64_t result = 0;
    // breg7 (rsp) + 16, deref.
    ASSERT_TRUE(evaluate({0x77, 16, 0x06}, r, &reader, 0, &result));
    EXPECT_EQ(result, 0xFEEDFACE12345678u);
    ASSERT_TRUE(evaluate({0x77, 16, 0x94, 2}, r, &reader, 0, &result));
    EXPECT_EQ(result, 0x5678u);
    EXPECT_FALSE(evaluate({0x77, 16, 0x94, 3}, r, &reader, 0, &result));
    EXPECT_FALSE(evaluate({0x77, 32, 0x06}, r, &reader, 0, &result));  // unreadable
    ASSERT_TRUE(evaluate({0x23, 0x80, 0x01}, r, &reader, 5, &result)); // plus_uconst 128
    EXPECT_EQ(result, 133u);
    ASSERT_TRUE(evaluate({0x35, 0x12, 0x22, 0x33, 0x16, 0x1A}, r, &reader, 0, &result)); // (5+5) swap-and 3
    EXPECT_EQ(result, 3u & 10u);
    ASSERT_TRUE(evaluate({0x33, 0x34, 0x2E}, r, &reader, 0, &result));
    EXPECT_EQ(result, 1u);
    EXPECT_FALSE(evaluate({0x22, 0x22}, r, &reader, 0, &result)); // pops past the bottom
    EXPECT_FALSE(evaluate({0x99}, r, &reader, 0, &result));
    EXPECT_FALSE(evaluate({0x23}, r, &reader, 0, &result)); // operand missing
    ByteBuilder empty;
    empty.uleb(0);
    const uint64_t start = reinterpret_cast<uintptr_t>(empty.data.data());
    EXPECT_FALSE(CRWDwarfEvalulateExpression(start, start + 1, &r, &reader, 0, &result));
}

TEST(CRWDwarfExpression, StackHoldsOneHundredEntries) {
    CRWRegisters r = x86Registers();
    uint64_t result = 0;
    std::vector<uint8_t> pushes(99, 0x31);
    ASSERT_TRUE(evaluate(pushes, r, nullptr, 0, &result));
    EXPECT_EQ(result, 1u);
    pushes.push_back(0x31);
    EXPECT_FALSE(evaluate(pushes, r, nullptr, 0, &result));
}

// The CFA of an x86_64 PLT entry: rsp + 8, plus 8 more once the entry has pushed its index
// (from byte 11 of the 16-byte entry on).
TEST(CRWDwarfExpression, PLTEntryCFA) {
    const std::vector<uint8_t> plt = {0x77, 8, 0x80, 0, 0x3F, 0x1A, 0x3B, 0x2A, 0x33, 0x24, 0x22};
    CRWRegisters r = x86Registers();
    r.values[7] = 0x7FFF0000;
    uint64_t cfa = 0;
    for (uint64_t byte : {0, 6, 10, 11, 15}) {
        r.pc = 0x401020 + byte;
        ASSERT_TRUE(evaluate(plt, r, nullptr, 0, &cfa));
        EXPECT_EQ(cfa, 0x7FFF0000u + (byte >= 11 ? 16 : 8)) << byte;
    }
}
