// The small stack machine that evaluates DWARF expressions of call-frame rules (CFA expressions,
// register expressions, the PLT entries' CFA). An expression is a ULEB128 length followed by that
// many opcode bytes. Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include "crash/unwind/CRWDataParsing.h"
#include "crash/unwind/CRWRegisters.h"

#include <cstdint>

inline constexpr uint32_t CRWDwarfExpressionStackSize = 100;

// A fixed stack. A push onto a full stack or a pop or peek of an empty one invalidates it; every
// later operation on it then fails and yields 0.
struct CRWDwarfExpressionStack {
    uint64_t values[CRWDwarfExpressionStackSize];
    uint32_t count;
    bool valid;
};

void CRWDwarfExpressionStackInit(CRWDwarfExpressionStack* stack);
bool CRWDwarfExpressionStackIsValid(const CRWDwarfExpressionStack* stack);
bool CRWDwarfExpressionStackPush(CRWDwarfExpressionStack* stack, uint64_t value);
uint64_t CRWDwarfExpressionStackPeek(CRWDwarfExpressionStack* stack);
uint64_t CRWDwarfExpressionStackPop(CRWDwarfExpressionStack* stack);

// The machine: stack, cursor over the expression (its end is set by preparation), the registers
// that register operations read and the reader for dereferences.
struct CRWDwarfExpressionMachine {
    CRWDwarfExpressionStack stack;
    CRWByteCursor cursor;
    const CRWRegisters* registers;
    const CRWMemoryReader* reader;
};

// Starts a machine on the expression at address, readable up to limit, with initialValue as the
// only stack entry. False for a null machine, address or registers.
bool CRWDwarfExpressionMachineInit(CRWDwarfExpressionMachine* machine, uint64_t expression, uint64_t limit,
                                   const CRWRegisters* registers, const CRWMemoryReader* reader,
                                   uint64_t initialValue);
// Reads the expression length and bounds the cursor to it; a zero or overlong length fails.
bool CRWDwarfExpressionMachinePrepareForExecution(CRWDwarfExpressionMachine* machine);
// True at the end of the expression, or when the machine is unusable (then logged).
bool CRWDwarfExpressionMachineIsFinished(CRWDwarfExpressionMachine* machine);
bool CRWDwarfExpressionMachineExecuteNextOpcode(CRWDwarfExpressionMachine* machine);
// The top of the stack, when the expression ran to its exact end and the stack is sound.
bool CRWDwarfExpressionMachineGetResult(CRWDwarfExpressionMachine* machine, uint64_t* result);

// Evaluates the expression at address (bounded by limit) with initialValue pushed first.
bool CRWDwarfEvalulateExpression(uint64_t expression, uint64_t limit, const CRWRegisters* registers,
                                 const CRWMemoryReader* reader, uint64_t initialValue, uint64_t* result);
