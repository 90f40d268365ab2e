// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWDwarfExpression.h"

#include "crash/unwind/CRWUnwindLog.h"

void CRWDwarfExpressionStackInit(CRWDwarfExpressionStack* stack) {
    stack->count = 0;
    stack->valid = true;
}

bool CRWDwarfExpressionStackIsValid(const CRWDwarfExpressionStack* stack) {
    return stack != nullptr && stack->valid && stack->count <= CRWDwarfExpressionStackSize;
}

bool CRWDwarfExpressionStackPush(CRWDwarfExpressionStack* stack, uint64_t value) {
    if (!CRWDwarfExpressionStackIsValid(stack)) return false;
    if (stack->count == CRWDwarfExpressionStackSize) {
        stack->valid = false;
        return false;
    }
    stack->values[stack->count++] = value;
    return true;
}

uint64_t CRWDwarfExpressionStackPeek(CRWDwarfExpressionStack* stack) {
    if (!CRWDwarfExpressionStackIsValid(stack)) return 0;
    if (stack->count == 0) {
        stack->valid = false;
        return 0;
    }
    return stack->values[stack->count - 1];
}

uint64_t CRWDwarfExpressionStackPop(CRWDwarfExpressionStack* stack) {
    uint64_t value = CRWDwarfExpressionStackPeek(stack);
    if (CRWDwarfExpressionStackIsValid(stack)) --stack->count;
    return value;
}

bool CRWDwarfExpressionMachineInit(CRWDwarfExpressionMachine* machine, uint64_t expression, uint64_t limit,
                                   const CRWRegisters* registers, const CRWMemoryReader* reader,
                                   uint64_t initialValue) {
    if (machine == nullptr || expression == 0 || registers == nullptr || limit <= expression) return false;
    machine->cursor = CRWByteCursor{expression, limit};
    machine->registers = registers;
    machine->reader = reader;
    CRWDwarfExpressionStackInit(&machine->stack);
    return CRWDwarfExpressionStackPush(&machine->stack, initialValue);
}

bool CRWDwarfExpressionMachinePrepareForExecution(CRWDwarfExpressionMachine* machine) {
    uint64_t length = 0;
    if (!CRWParseULEB128AndAdvance(&machine->cursor, &length)) return false;
    if (length == 0) {
        CRWUnwindLogWarn("Error: DWARF expression length is zero");
        return false;
    }
    if (!CRWCursorHas(&machine->cursor, length)) return false;
    machine->cursor.end = machine->cursor.position + length;
    return true;
}

bool CRWDwarfExpressionMachineIsFinished(CRWDwarfExpressionMachine* machine) {
    if (machine == nullptr || machine->cursor.position == 0 || machine->registers == nullptr) {
        CRWUnwindLogWarn("Error: DWARF machine pointers invalid");
        return true;
    }
    if (!CRWDwarfExpressionStackIsValid(&machine->stack)) {
        CRWUnwindLogWarn("Error: DWARF machine stack invalid");
        return true;
    }
    return machine->cursor.position >= machine->cursor.end;
}

namespace {

bool derefSized(CRWDwarfExpressionMachine* machine, uint8_t size) {
    uint64_t address = CRWDwarfExpressionStackPop(&machine->stack);
    uint64_t value = 0; // little-endian: the low bytes of value receive the read, the rest stay 0
    if (!CRWMemoryReaderRead(machine->reader, address, &value, size)) {
        CRWUnwindLogWarn("Error: DW_OP_deref failed to read memory");
        return false;
    }
    return CRWDwarfExpressionStackPush(&machine->stack, value);
}

} // namespace

bool CRWDwarfExpressionMachineExecuteNextOpcode(CRWDwarfExpressionMachine* machine) {
    CRWDwarfExpressionStack* stack = &machine->stack;
    uint8_t opcode = 0;
    if (!CRWParseU8AndAdvance(&machine->cursor, &opcode)) return false;

    if (opcode >= 0x30 && opcode <= 0x4F) {
        CRWUnwindLogDebug("DW_OP_lit %u", opcode - 0x30);
        return CRWDwarfExpressionStackPush(stack, opcode - 0x30u);
    }
    if (opcode >= 0x70 && opcode <= 0x8F) {
        int64_t offset = 0;
        if (!CRWParseLEB128AndAdvance(&machine->cursor, &offset)) return false;
        uint64_t value = 0;
        if (!CRWRegistersGet(machine->registers, opcode - 0x70u, &value))
            CRWUnwindLogWarn("Error: Unrecognized get register number %llu",
                             (unsigned long long)(opcode - 0x70u));
        CRWUnwindLogDebug("DW_OP_breg %d value %d", opcode - 0x70, (int)offset);
        return CRWDwarfExpressionStackPush(stack, value + static_cast<uint64_t>(offset));
    }
    switch (opcode) {
    case 0x06: // deref
        CRWUnwindLogDebug("DW_OP_deref value %p", (void*)(uintptr_t)CRWDwarfExpressionStackPeek(stack));
        return derefSized(machine, 8);
    case 0x12: { // dup
        uint64_t top = CRWDwarfExpressionStackPeek(stack);
        CRWUnwindLogDebug("DW_OP_dup value %lu", (unsigned long)top);
        return CRWDwarfExpressionStackIsValid(stack) && CRWDwarfExpressionStackPush(stack, top);
    }
    case 0x16: { // swap
        CRWUnwindLogDebug("DW_OP_swap");
        uint64_t a = CRWDwarfExpressionStackPop(stack);
        uint64_t b = CRWDwarfExpressionStackPop(stack);
        return CRWDwarfExpressionStackPush(stack, a) && CRWDwarfExpressionStackPush(stack, b);
    }
    case 0x1A:   // and
    case 0x22:   // plus
    case 0x24:   // shl
    case 0x2A:   // ge
    case 0x2E: { // ne
        uint64_t a = CRWDwarfExpressionStackPop(stack);
        uint64_t b = CRWDwarfExpressionStackPop(stack);
        uint64_t result = 0;
        if (opcode == 0x1A) {
            CRWUnwindLogDebug("DW_OP_plus_and");
            result = b & a;
        } else if (opcode == 0x22) {
            CRWUnwindLogDebug("DW_OP_plus");
            result = b + a;
        } else if (opcode == 0x24) {
            CRWUnwindLogDebug("DW_OP_shl");
            result = a >= 64 ? 0 : b << a;
        } else if (opcode == 0x2A) {
            CRWUnwindLogDebug("DW_OP_ge");
            result = static_cast<int64_t>(b) >= static_cast<int64_t>(a) ? 1 : 0;
        } else {
            CRWUnwindLogDebug("DW_OP_ne");
            result = a != b ? 1 : 0;
        }
        return CRWDwarfExpressionStackIsValid(stack) && CRWDwarfExpressionStackPush(stack, result);
    }
    case 0x23: { // plus_uconst
        uint64_t operand = 0;
        if (!CRWParseULEB128AndAdvance(&machine->cursor, &operand)) return false;
        CRWUnwindLogDebug("DW_OP_plus_uconst value %lu", (unsigned long)operand);
        uint64_t top = CRWDwarfExpressionStackPop(stack);
        return CRWDwarfExpressionStackIsValid(stack) && CRWDwarfExpressionStackPush(stack, top + operand);
    }
    case 0x94: { // deref_size
        uint8_t size = 0;
        if (!CRWParseU8AndAdvance(&machine->cursor, &size)) return false;
        CRWUnwindLogDebug("DW_OP_deref_size %p size %u", (void*)(uintptr_t)CRWDwarfExpressionStackPeek(stack),
                          (unsigned)size);
        if (size != 1 && size != 2 && size != 4 && size != 8) {
            CRWUnwindLogWarn("Error: unrecognized DW_OP_deref_size argument %x", (unsigned)size);
            return false;
        }
        return derefSized(machine, size);
    }
    default:
        CRWUnwindLogWarn("Error: Unrecognized DWARF expression opcode 0x%x", (unsigned)opcode);
        return false;
    }
}

bool CRWDwarfExpressionMachineGetResult(CRWDwarfExpressionMachine* machine, uint64_t* result) {
    if (machine->cursor.position != machine->cursor.end) {
        CRWUnwindLogWarn("Error: DWARF expression hasn't completed execution");
        return false;
    }
    if (!CRWDwarfExpressionStackIsValid(&machine->stack)) return false;
    uint64_t top = CRWDwarfExpressionStackPeek(&machine->stack);
    if (!CRWDwarfExpressionStackIsValid(&machine->stack)) return false;
    *result = top;
    return true;
}

bool CRWDwarfEvalulateExpression(uint64_t expression, uint64_t limit, const CRWRegisters* registers,
                                 const CRWMemoryReader* reader, uint64_t initialValue, uint64_t* result) {
    CRWUnwindLogDebug("starting at %p with initial value %lx", (void*)(uintptr_t)expression,
                      (unsigned long)initialValue);
    if (expression == 0 || result == nullptr) {
        CRWUnwindLogWarn("Error: inputs invalid");
        return false;
    }
    CRWDwarfExpressionMachine machine;
    if (!CRWDwarfExpressionMachineInit(&machine, expression, limit, registers, reader, initialValue)) {
        CRWUnwindLogWarn("Error: unable to init DWARF expression machine");
        return false;
    }
    if (!CRWDwarfExpressionMachinePrepareForExecution(&machine)) {
        CRWUnwindLogWarn("Error: unable to prepare for execution");
        return false;
    }
    while (!CRWDwarfExpressionMachineIsFinished(&machine)) {
        if (!CRWDwarfExpressionMachineExecuteNextOpcode(&machine)) {
            CRWUnwindLogWarn("Error: failed to execute DWARF machine opcode");
            return false;
        }
    }
    if (!CRWDwarfExpressionMachineGetResult(&machine, result)) {
        CRWUnwindLogWarn("Error: failed to get DWARF expression result");
        return false;
    }
    CRWUnwindLogDebug("successfully computed expression result");
    return true;
}
