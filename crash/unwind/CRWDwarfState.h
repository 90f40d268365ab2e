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

// A rule. For expressions, value is the address of the expression and limit the end of the
// instruction bytes it was found in.
struct CRWDwarfRegister {
    uint32_t location;
    uint64_t value;
    uint64_t limit;
};

// CFA register 32 marks a CFA given by the expression at cfaExpression.
inline constexpr uint64_t CRWDwarfCFAExpressionRegister = 32;

struct CRWDwarfState {
    uint64_t cfaRegister;
    uint64_t cfaRegisterOffset;
    uint64_t cfaExpression;
    uint64_t cfaExpressionLimit;
    CRWDwarfRegister registers[CRWDwarfRegisterCount];
};

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
