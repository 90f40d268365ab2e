// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWDwarfUnwind.h"

#include "crash/unwind/CRWDwarfExpression.h"
#include "crash/unwind/CRWUnwindLog.h"

bool CRWDwarfGetCFA(const CRWDwarfState* state, const CRWRegisters* registers, const CRWMemoryReader* reader,
                    uint64_t* cfa) {
    if (state->cfaExpression != 0) {
        if (!CRWDwarfEvalulateExpression(state->cfaExpression,
                                         state->cfaExpression + state->cfaExpressionSize, registers, reader,
                                         0, cfa)) {
            CRWUnwindLogWarn("Error: failed to compute CFA expression");
            return false;
        }
        return true;
    }
    uint64_t value = 0;
    if (!CRWRegistersGet(registers, state->cfaRegister, &value)) {
        CRWUnwindLogWarn("Error: Unrecognized get register number %llu",
                         (unsigned long long)state->cfaRegister);
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
        if (!CRWDwarfEvalulateExpression(rule->value, rule->value + rule->expressionSize, registers, reader,
                                         cfa, &result)) {
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
    uint64_t values[CRWDwarfRegisterCount];
    uint32_t written = 0;
    for (uint32_t set = state->rulesSet; set != 0; set &= set - 1) {
        const uint32_t number = static_cast<uint32_t>(__builtin_ctz(set));
        const CRWDwarfRegister* rule = &state->registers[number];
        if (rule->location == CRWDwarfRegisterUnused || rule->location == CRWDwarfRegisterUndefined) continue;
        if (!CRWRegistersHasNumber(registers->architecture, number)) {
            CRWUnwindLogWarn("Error: Unable to restore register value");
            return false;
        }
        values[number] = CRWDwarfGetSavedRegister(rule, cfa, registers, reader);
        written |= 1u << number;
    }

    const uint64_t mask = CRWRegistersPointerMask(registers->architecture);
    const CRWDwarfRegister* returnRule = CRWDwarfStateRule(
        state, static_cast<uint32_t>(returnAddressRegister < 32 ? returnAddressRegister : 0));
    const bool endOfStack =
        returnAddressRegister < CRWDwarfRegisterCount && returnRule->location == CRWDwarfRegisterUndefined;
    uint64_t oldReturn = 0;
    if (!endOfStack && !CRWRegistersGet(registers, returnAddressRegister, &oldReturn)) {
        CRWUnwindLogWarn("Error: Unrecognized get register number %llu",
                         (unsigned long long)returnAddressRegister);
        return false;
    }
    const uint64_t newReturn = (returnAddressRegister < 32 && (written & (1u << returnAddressRegister)))
                                   ? values[returnAddressRegister] & mask
                                   : oldReturn;
    if ((cfa & mask) == CRWRegistersGetSP(registers)) {
        CRWUnwindLogWarn("Error: Stack pointer hasn't changed");
        return false;
    }
    if (!endOfStack && newReturn == oldReturn) {
        CRWUnwindLogWarn("Error: PC hasn't changed");
        return false;
    }
    for (uint32_t set = written; set != 0; set &= set - 1) {
        const uint32_t number = static_cast<uint32_t>(__builtin_ctz(set));
        CRWRegistersSet(registers, number, values[number]);
    }
    CRWRegistersSetSP(registers, cfa);
    CRWRegistersSetPC(registers, endOfStack ? 0 : newReturn);
    return true;
}

bool CRWDwarfUnwindRunCIE(const CRWDwarfCFIRecord* record, CRWDwarfState* initial) {
    if (record == nullptr || initial == nullptr) return false;
    CRWDwarfStateInit(initial);
    if (!CRWDwarfInstructionsEnumerate(&record->cie.instructions, &record->cie, record->reader, initial,
                                       nullptr, record->fde.pcStart, false, 0)) {
        CRWUnwindLogWarn("Error: Unable to run CIE instructions");
        return false;
    }
    return true;
}

bool CRWDwarfUnwindComputeRegistersFromInitialState(const CRWDwarfCFIRecord* record,
                                                    const CRWDwarfState* initial, CRWRegisters* registers) {
    if (record == nullptr || initial == nullptr || registers == nullptr) return false;
    const int64_t pcOffset = static_cast<int64_t>(CRWRegistersGetPC(registers) - record->fde.pcStart);
    if (pcOffset < 0) {
        CRWUnwindLogWarn("Error: The FDE pcOffset value cannot be negative");
        return false;
    }
    CRWDwarfState state;
    CRWDwarfStateCopy(&state, initial);
    if (!CRWDwarfInstructionsEnumerate(&record->fde.instructions, &record->cie, record->reader, &state,
                                       initial, record->fde.pcStart, true, pcOffset)) {
        CRWUnwindLogWarn("Error: Unable to run FDE instructions");
        return false;
    }
    uint64_t cfa = 0;
    if (!CRWDwarfGetCFA(&state, registers, record->reader, &cfa)) {
        CRWUnwindLogWarn("Error: failed to get CFA");
        return false;
    }
    if (!CRWDwarfUnwindAssignRegisters(&state, record->cie.returnAddressRegister, cfa, registers,
                                       record->reader)) {
        CRWUnwindLogWarn("Error: Unable to assign DWARF registers");
        return false;
    }
    return true;
}

bool CRWDwarfUnwindComputeRegisters(const CRWDwarfCFIRecord* record, CRWRegisters* registers) {
    CRWDwarfState initial;
    if (!CRWDwarfUnwindRunCIE(record, &initial)) return false;
    return CRWDwarfUnwindComputeRegistersFromInitialState(record, &initial, registers);
}
