// One row of a function's frame table (how to find the CFA and each register of the caller) and
// the interpreter of call-frame instructions that builds it. Runs at crash time: no allocation,
// no locks, no exceptions.
#pragma once

#include "crash/unwind/CRWDwarfCFI.h"
#include "crash/unwind/CRWRegisters.h"

#include <cstdint>

// Where a caller's register is found.
enum CRWDwarfRegisterLocation : uint32_t {
    CRWDwarfRegisterUnused = 0,        // keeps its value
    CRWDwarfRegisterInCFA = 1,         // saved at CFA + value (signed)
    CRWDwarfRegisterOffsetFromCFA = 2, // value is CFA + value; no instruction produces it
    CRWDwarfRegisterInRegister = 3,    // saved in register number value
    CRWDwarfRegisterAtExpression = 4,  // saved at the address the expression at value computes
    CRWDwarfRegisterIsExpression = 5,  // is what the expression at value computes
    CRWDwarfRegisterUndefined = 6,     // not recoverable; for the return address: end of stack
};

// A rule. For expressions, value is the address of the expression and expressionSize the bytes it
// occupies (its length field included), checked against its instructions when it was read.
struct CRWDwarfRegister {
    uint32_t location;
    uint32_t expressionSize;
    uint64_t value;
};

// CFA register 32 marks a CFA given by the expression at cfaExpression.
inline constexpr uint64_t CRWDwarfCFAExpressionRegister = 32;

// A row. Only the rules whose bit is set in rulesSet are meaningful; the others are "unused"
// whatever their bytes say, so a fresh row needs only its header cleared and copies move only the
// rules in use.
struct CRWDwarfState {
    uint64_t cfaRegister;
    uint64_t cfaRegisterOffset;
    uint64_t cfaExpression;
    uint64_t cfaExpressionSize;
    uint32_t rulesSet;
    CRWDwarfRegister registers[CRWDwarfRegisterCount];
};

// An empty row: CFA register 0, offset 0, no rules.
void CRWDwarfStateInit(CRWDwarfState* state);
// Makes destination equal to source (header and rules in use).
void CRWDwarfStateCopy(CRWDwarfState* destination, const CRWDwarfState* source);
// The rule for a register number below CRWDwarfRegisterCount; an unused rule when none is set.
const CRWDwarfRegister* CRWDwarfStateRule(const CRWDwarfState* state, uint32_t number);

// How many remember_state entries an instruction run can hold.
inline constexpr uint32_t CRWDwarfRememberDepth = 4;

// Runs the instructions on state. With a limit, the run stops before an instruction whose row
// starts after pcOffsetLimit (rows at or before the offset apply); a negative limit runs none.
// initialState holds the CIE's rules for restore instructions (null while running the CIE).
// pcStart turns set_loc addresses into offsets. False (logged) for a malformed or unsupported
// instruction or a register number of 32 or more.
bool CRWDwarfInstructionsEnumerate(const CRWDwarfInstructions* instructions, const CRWDwarfCIERecord* cie,
                                   const CRWMemoryReader* reader, CRWDwarfState* state,
                                   const CRWDwarfState* initialState, uint64_t pcStart, bool limited,
                                   int64_t pcOffsetLimit);
