// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWDwarfUnwind.h"

#include "crash/unwind/CRWDwarfExpression.h"
#include "crash/unwind/CRWUnwindLog.h"

#include <cstring>

bool CRWDwarfGetCFA(const CRWDwarfState* state, const CRWRegisters* registers, const CRWMemoryReader* reader,
                    uint64_t* cfa) {
    if (state->cfaExpression != 0) {
        if (!CRWDwarfEvalulateExpression(state->cfaExpression, state->cfaExpressionLimit, registers, reader, 0, cfa)) {
            CRWUnwindLogWarn("Error: failed to compute CFA expression");
            return false;
        }
        return true;
    }
    uint64_t value = 0;
    if (!CRWRegistersGet(registers, state->cfaRegister, &value)) {
        CRWUnwindLogWarn("Error: Unrecognized get register number %llu", (unsigned long long)state->cfaRegister);
        return false;
    }
    *cfa = value + state->cfaRegisterOffset;
    return true;
}

uint64_t CRWDwarfGetSavedRegister(const CRWDwarfRegister* rule, uint64_t cfa, const CRWRegisters* registers,
                                  const CRWMemoryReader* reader) {
    CRWUnwindLogDebug("Getting register %x", rule->location);
    uint64_t value = 0;
    switch (rule->location) {
    case CRWDwarfRegisterInCFA:
        if (!CRWMemoryReaderReadWord(reader, cfa + rule->value, &value))
            CRWUnwindLogWarn("Error: Unable to read CFA value");
        return value;
    case CRWDwarfRegisterOffsetFromCFA:
        CRWUnwindLogWarn("Error: OffsetFromCFA unhandled");
        return 0;
    case CRWDwarfRegisterInRegister:
        if (!CRWRegistersGet(registers, rule->value, &value))
            CRWUnwindLogWarn("Error: Unrecognized get register number %llu", (unsigned long long)rule->value);
        return value;
    case CRWDwarfRegisterAtExpression:
    case CRWDwarfRegisterIsExpression: {
        uint64_t result = 0;
        if (!CRWDwarfEvalulateExpression(rule->value, rule->limit, registers, reader, cfa, &result)) {
            CRWUnwindLogWarn("Error: unable to evaluate expression");
            return 0;
        }
        if (rule->location == CRWDwarfRegisterIsExpression) return result;
        if (!CRWMemoryReaderReadWord(reader, result, &value))
            CRWUnwindLogWarn("Error: Unable to read memory computed from expression");
        return value;
    }
    default:
        CRWUnwindLogWarn("Error: Unrecognized register save location 0x%x", rule->location);
        return 0;
    }
}

bool CRWDwarfUnwindAssignRegisters(const CRWDwarfState* state, uint64_t returnAddressRegister, uint64_t cfa,
                                   CRWRegisters* registers, const CRWMemoryReader* reader) {
    CRWRegisters caller;
    std::memcpy(&caller, registers, sizeof caller);
    for (uint32_t number = 0; number < CRWDwarfRegisterCount; ++number) {
        const CRWDwarfRegister* rule = &state->registers[number];
        if (rule->location == CRWDwarfRegisterUnused || rule->location == CRWDwarfRegisterUndefined) continue;
        if (!CRWRegistersSet(&caller, number, CRWDwarfGetSavedRegister(rule, cfa, registers, reader))) {
            CRWUnwindLogWarn("Error: Unable to restore register value");
            return false;
        }
    }
    CRWRegistersSetSP(&caller, cfa);

    const bool endOfStack = returnAddressRegister < CRWDwarfRegisterCount &&
                            state->registers[returnAddressRegister].location == CRWDwarfRegisterUndefined;
    uint64_t oldReturn = 0, newReturn = 0;
    if (!endOfStack && (!CRWRegistersGet(registers, returnAddressRegister, &oldReturn) ||
                        !CRWRegistersGet(&caller, returnAddressRegister, &newReturn))) {
        CRWUnwindLogWarn("Error: Unrecognized get register number %llu", (unsigned long long)returnAddressRegister);
        return false;
    }
    if (CRWRegistersGetSP(&caller) == CRWRegistersGetSP(registers)) {
        CRWUnwindLogWarn("Error: Stack pointer hasn't changed");
        return false;
    }
    if (!endOfStack && newReturn == oldReturn) {
        CRWUnwindLogWarn("Error: PC hasn't changed");
        return false;
    }
    CRWRegistersSetPC(&caller, endOfStack ? 0 : newReturn);
    std::memcpy(registers, &caller, sizeof caller);
    return true;
}

bool CRWDwarfUnwindComputeRegisters(const CRWDwarfCFIRecord* record, CRWRegisters* registers) {
    if (record == nullptr || registers == nullptr) return false;
    CRWDwarfState state;
    std::memset(&state, 0, sizeof state);
    if (!CRWDwarfInstructionsEnumerate(&record->cie.instructions, &record->cie, record->reader, &state, nullptr,
                                       record->fde.pcStart, false, 0)) {
        CRWUnwindLogWarn("Error: Unable to run CIE instructions");
        return false;
    }
    const int64_t pcOffset = static_cast<int64_t>(CRWRegistersGetPC(registers) - record->fde.pcStart);
    if (pcOffset < 0) {
        CRWUnwindLogWarn("Error: The FDE pcOffset value cannot be negative");
        return false;
    }
    CRWDwarfState initial;
    std::memcpy(&initial, &state, sizeof initial);
    if (!CRWDwarfInstructionsEnumerate(&record->fde.instructions, &record->cie, record->reader, &state, &initial,
                                       record->fde.pcStart, true, pcOffset)) {
        CRWUnwindLogWarn("Error: Unable to run FDE instructions");
        return false;
    }
    uint64_t cfa = 0;
    if (!CRWDwarfGetCFA(&state, registers, record->reader, &cfa)) {
        CRWUnwindLogWarn("Error: failed to get CFA");
        return false;
    }
    if (!CRWDwarfUnwindAssignRegisters(&state, record->cie.returnAddressRegister, cfa, registers, record->reader)) {
        CRWUnwindLogWarn("Error: Unable to assign DWARF registers");
        return false;
    }
    return true;
}
