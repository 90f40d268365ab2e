// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWDwarfState.h"

#include "crash/unwind/CRWUnwindLog.h"

namespace {

constexpr CRWDwarfRegister kUnusedRule{CRWDwarfRegisterUnused, 0, 0};

} // namespace

void CRWDwarfStateInit(CRWDwarfState* state) {
    state->cfaRegister = state->cfaRegisterOffset = state->cfaExpression = state->cfaExpressionSize = 0;
    state->rulesSet = 0;
}

void CRWDwarfStateCopy(CRWDwarfState* destination, const CRWDwarfState* source) {
    destination->cfaRegister = source->cfaRegister;
    destination->cfaRegisterOffset = source->cfaRegisterOffset;
    destination->cfaExpression = source->cfaExpression;
    destination->cfaExpressionSize = source->cfaExpressionSize;
    destination->rulesSet = source->rulesSet;
    for (uint32_t set = source->rulesSet; set != 0; set &= set - 1) {
        const int number = __builtin_ctz(set);
        destination->registers[number] = source->registers[number];
    }
}

const CRWDwarfRegister* CRWDwarfStateRule(const CRWDwarfState* state, uint32_t number) {
    if (number >= CRWDwarfRegisterCount || (state->rulesSet & (1u << number)) == 0) return &kUnusedRule;
    return &state->registers[number];
}

namespace {

// The fixed-depth stack of remember_state / restore_state.
struct RememberStack {
    CRWDwarfState states[CRWDwarfRememberDepth];
    uint32_t count;
};

struct Run {
    CRWByteCursor cursor;
    const CRWDwarfCIERecord* cie;
    const CRWMemoryReader* reader;
    CRWDwarfState* state;
    const CRWDwarfState* initialState;
    uint64_t pcStart;
    int64_t location;
    RememberStack remembered;
};

bool readRegister(Run* run, uint64_t* number, const char* failure) {
    if (!CRWParseULEB128AndAdvance(&run->cursor, number)) return false;
    if (*number >= CRWDwarfRegisterCount) {
        CRWUnwindLogWarn("%s", failure);
        return false;
    }
    return true;
}

// Reads an expression's length and skips it; *address is where the length begins and *size the
// bytes up to its end.
bool skipExpression(Run* run, uint64_t* address, uint32_t* size) {
    *address = run->cursor.position;
    uint64_t length = 0;
    if (!CRWParseULEB128AndAdvance(&run->cursor, &length) || !CRWCursorSkip(&run->cursor, length))
        return false;
    if (run->cursor.position - *address > 0xFFFFFFFFu) return false;
    *size = static_cast<uint32_t>(run->cursor.position - *address);
    return true;
}

void setRule(Run* run, uint64_t number, uint32_t location, uint64_t value, uint32_t expressionSize = 0) {
    run->state->registers[number] = CRWDwarfRegister{location, expressionSize, value};
    if (location == CRWDwarfRegisterUnused) {
        run->state->rulesSet &= ~(1u << number);
    } else {
        run->state->rulesSet |= 1u << number;
    }
}

void restoreRule(Run* run, uint64_t number) {
    const CRWDwarfRegister* initial =
        run->initialState != nullptr ? CRWDwarfStateRule(run->initialState, static_cast<uint32_t>(number))
                                     : &kUnusedRule;
    setRule(run, number, initial->location, initial->value, initial->expressionSize);
}

void advance(Run* run, uint64_t delta) {
    // Unsigned arithmetic: hostile factors wrap instead of overflowing.
    run->location =
        static_cast<int64_t>(static_cast<uint64_t>(run->location) + delta * run->cie->codeAlignFactor);
}

void defineCFARegister(Run* run, uint64_t number) {
    run->state->cfaRegister = number;
    run->state->cfaExpression = 0;
}

bool execute(Run* run, uint8_t opcode) {
    CRWDwarfState* state = run->state;
    const uint64_t daf = static_cast<uint64_t>(run->cie->dataAlignFactor);
    uint64_t reg = 0, operand = 0;
    int64_t signedOperand = 0;

    switch (opcode & 0xC0) {
    case 0x40:
        CRWUnwindLogDebug("DW_CFA_advance_loc %u", (unsigned)(opcode & 0x3F));
        advance(run, opcode & 0x3F);
        return true;
    case 0x80:
        reg = opcode & 0x3F;
        if (reg >= CRWDwarfRegisterCount) {
            CRWUnwindLogWarn("Error: Found an invalid DW_CFA_offset register number");
            return false;
        }
        if (!CRWParseULEB128AndAdvance(&run->cursor, &operand)) return false;
        CRWUnwindLogDebug("DW_CFA_offset %u, %lld", (unsigned)reg, (long long)(operand * daf));
        setRule(run, reg, CRWDwarfRegisterInCFA, operand * daf);
        return true;
    case 0xC0:
        reg = opcode & 0x3F;
        if (reg >= CRWDwarfRegisterCount) {
            CRWUnwindLogWarn("Error: Found an invalid DW_CFA_restore register number");
            return false;
        }
        CRWUnwindLogDebug("DW_CFA_restore %u", (unsigned)reg);
        restoreRule(run, reg);
        return true;
    default:
        break;
    }

    switch (opcode) {
    case 0x00:
        CRWUnwindLogDebug("DW_CFA_nop");
        return true;
    case 0x01: {
        const CRWPointerEncodingBases bases{0, run->reader};
        uint64_t address =
            CRWParseAddressWithEncodingAndAdvance(&run->cursor, run->cie->pointerEncoding, &bases);
        if (address == CRWInvalidAddress) return false;
        CRWUnwindLogDebug("DW_CFA_set_loc %lu", (unsigned long)address);
        run->location = static_cast<int64_t>(address - run->pcStart);
        return true;
    }
    case 0x02: {
        uint8_t delta = 0;
        if (!CRWParseU8AndAdvance(&run->cursor, &delta)) return false;
        CRWUnwindLogDebug("DW_CFA_advance_loc1 %lld", (long long)delta);
        advance(run, delta);
        return true;
    }
    case 0x03: {
        uint16_t delta = 0;
        if (!CRWParseU16AndAdvance(&run->cursor, &delta)) return false;
        CRWUnwindLogDebug("DW_CFA_advance_loc2 %lld", (long long)delta);
        advance(run, delta);
        return true;
    }
    case 0x04: {
        uint32_t delta = 0;
        if (!CRWParseU32AndAdvance(&run->cursor, &delta)) return false;
        CRWUnwindLogDebug("DW_CFA_advance_loc4 %lld", (long long)delta);
        advance(run, delta);
        return true;
    }
    case 0x05: // offset_extended
    case 0x11: // offset_extended_sf
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_offset_extended register number"))
            return false;
        if (opcode == 0x05) {
            if (!CRWParseULEB128AndAdvance(&run->cursor, &operand)) return false;
            signedOperand = static_cast<int64_t>(operand);
        } else if (!CRWParseLEB128AndAdvance(&run->cursor, &signedOperand)) {
            return false;
        }
        CRWUnwindLogDebug("DW_CFA_offset_extended %llu, %lld", (unsigned long long)reg,
                          (long long)(static_cast<uint64_t>(signedOperand) * daf));
        setRule(run, reg, CRWDwarfRegisterInCFA, static_cast<uint64_t>(signedOperand) * daf);
        return true;
    case 0x06:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_restore_extended register number"))
            return false;
        CRWUnwindLogDebug("DW_CFA_restore_extended %llu", (unsigned long long)reg);
        restoreRule(run, reg);
        return true;
    case 0x07:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_undefined register number"))
            return false;
        CRWUnwindLogDebug("DW_CFA_undefined %llu", (unsigned long long)reg);
        setRule(run, reg, CRWDwarfRegisterUndefined, 0);
        return true;
    case 0x08:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_same_value register number"))
            return false;
        CRWUnwindLogDebug("DW_CFA_same_value %llu", (unsigned long long)reg);
        setRule(run, reg, CRWDwarfRegisterUnused, 0);
        return true;
    case 0x09:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_register register number")) return false;
        if (!readRegister(run, &operand, "Error: Found an invalid DW_CFA_register value")) return false;
        CRWUnwindLogDebug("DW_CFA_register %llu %llu", (unsigned long long)reg, (unsigned long long)operand);
        setRule(run, reg, CRWDwarfRegisterInRegister, operand);
        return true;
    case 0x0A:
        CRWUnwindLogDebug("DW_CFA_remember_state");
        if (run->remembered.count == CRWDwarfRememberDepth) {
            CRWUnwindLogWarn("Error: DW_CFA_remember_state nested too deeply");
            return false;
        }
        CRWDwarfStateCopy(&run->remembered.states[run->remembered.count++], state);
        return true;
    case 0x0B:
        CRWUnwindLogDebug("DW_CFA_restore_state");
        if (run->remembered.count == 0) {
            CRWUnwindLogWarn("Error: DW_CFA_restore_state without remembered state");
            return false;
        }
        CRWDwarfStateCopy(state, &run->remembered.states[--run->remembered.count]);
        return true;
    case 0x0C:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_def_cfa register number")) return false;
        if (!CRWParseULEB128AndAdvance(&run->cursor, &operand)) return false;
        CRWUnwindLogDebug("DW_CFA_def_cfa %llu, %lld", (unsigned long long)reg, (long long)operand);
        defineCFARegister(run, reg);
        state->cfaRegisterOffset = operand;
        return true;
    case 0x12:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_def_cfa_sf register number"))
            return false;
        if (!CRWParseLEB128AndAdvance(&run->cursor, &signedOperand)) return false;
        CRWUnwindLogDebug("DW_CFA_def_cfa_sf %llu, %lld", (unsigned long long)reg,
                          (long long)(static_cast<uint64_t>(signedOperand) * daf));
        defineCFARegister(run, reg);
        state->cfaRegisterOffset = static_cast<uint64_t>(signedOperand) * daf;
        return true;
    case 0x0D:
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_def_cfa_register register number"))
            return false;
        CRWUnwindLogDebug("DW_CFA_def_cfa_register %llu", (unsigned long long)reg);
        defineCFARegister(run, reg);
        return true;
    case 0x0E:
        if (!CRWParseULEB128AndAdvance(&run->cursor, &operand)) return false;
        CRWUnwindLogDebug("DW_CFA_def_cfa_offset %lld", (long long)operand);
        state->cfaRegisterOffset = operand;
        return true;
    case 0x13:
        if (!CRWParseLEB128AndAdvance(&run->cursor, &signedOperand)) return false;
        CRWUnwindLogDebug("DW_CFA_def_cfa_offset_sf %lld",
                          (long long)(static_cast<uint64_t>(signedOperand) * daf));
        state->cfaRegisterOffset = static_cast<uint64_t>(signedOperand) * daf;
        return true;
    case 0x0F: {
        uint64_t expression = 0;
        uint32_t size = 0;
        if (!skipExpression(run, &expression, &size)) return false;
        CRWUnwindLogDebug("DW_CFA_def_cfa_expression %llu", (unsigned long long)expression);
        state->cfaRegister = CRWDwarfCFAExpressionRegister;
        state->cfaExpression = expression;
        state->cfaExpressionSize = size;
        return true;
    }
    case 0x10:
    case 0x16: {
        if (!readRegister(run, &reg, "Error: Found an invalid DW_CFA_expression register number"))
            return false;
        uint64_t expression = 0;
        uint32_t size = 0;
        if (!skipExpression(run, &expression, &size)) return false;
        if (opcode == 0x10) {
            CRWUnwindLogDebug("DW_CFA_expression %llu %llu", (unsigned long long)reg,
                              (unsigned long long)expression);
            setRule(run, reg, CRWDwarfRegisterAtExpression, expression, size);
        } else {
            CRWUnwindLogDebug("DW_CFA_val_expression %llu %llu", (unsigned long long)reg,
                              (unsigned long long)expression);
            setRule(run, reg, CRWDwarfRegisterIsExpression, expression, size);
        }
        return true;
    }
    case 0x2E:
        // The size of outgoing arguments matters only when resuming into the frame.
        if (!CRWParseULEB128AndAdvance(&run->cursor, &operand)) return false;
        CRWUnwindLogDebug("DW_CFA_GNU_args_size %llu", (unsigned long long)operand);
        return true;
    case 0x14:
    case 0x15:
    case 0x2D:
    case 0x2F:
        CRWUnwindLogWarn("Error: Unimplemented DWARF instruction 0x%x", (unsigned)opcode);
        return false;
    default:
        CRWUnwindLogWarn("Error: Unrecognized DWARF instruction 0x%x", (unsigned)opcode);
        return false;
    }
}

} // namespace

bool CRWDwarfInstructionsEnumerate(const CRWDwarfInstructions* instructions, const CRWDwarfCIERecord* cie,
                                   const CRWMemoryReader* reader, CRWDwarfState* state,
                                   const CRWDwarfState* initialState, uint64_t pcStart, bool limited,
                                   int64_t pcOffsetLimit) {
    if (instructions == nullptr || cie == nullptr || state == nullptr) {
        CRWUnwindLogWarn("Error: inputs invalid");
        return false;
    }
    Run run;
    run.cursor = CRWByteCursor{instructions->start, instructions->start + instructions->length};
    run.cie = cie;
    run.reader = reader;
    run.state = state;
    run.initialState = initialState;
    run.pcStart = pcStart;
    run.location = 0;
    run.remembered.count = 0;
    CRWUnwindLogDebug("Running instructions from %p to %p", (void*)(uintptr_t)run.cursor.position,
                      (void*)(uintptr_t)run.cursor.end);
    if (limited && pcOffsetLimit < 0) return true;
    while (run.cursor.position < run.cursor.end && (!limited || run.location <= pcOffsetLimit)) {
        uint8_t opcode = 0;
        if (!CRWParseU8AndAdvance(&run.cursor, &opcode)) return false;
        if (!execute(&run, opcode)) {
            CRWUnwindLogWarn("Error: Failed to execute dwarf instruction 0x%x", (unsigned)opcode);
            return false;
        }
    }
    return true;
}
