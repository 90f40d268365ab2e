// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWRegisters.h"

#include <cstring>

#include <ucontext.h>

namespace {

uint32_t spNumber(uint32_t architecture) {
    return architecture == CRWArchitectureX86_64 ? CRWX86_64RegisterRSP : CRWARM64RegisterSP;
}
uint32_t fpNumber(uint32_t architecture) {
    return architecture == CRWArchitectureX86_64 ? CRWX86_64RegisterRBP : CRWARM64RegisterFP;
}

} // namespace

uint64_t CRWRegistersPointerMask(uint32_t architecture) {
    return architecture == CRWArchitectureARM64 ? 0xFFFFFFFFFull : ~uint64_t{0};
}

uint64_t CRWRegistersGetPC(const CRWRegisters* r) {
    return r->pc & CRWRegistersPointerMask(r->architecture);
}
uint64_t CRWRegistersGetSP(const CRWRegisters* r) {
    return r->values[spNumber(r->architecture)] & CRWRegistersPointerMask(r->architecture);
}
uint64_t CRWRegistersGetFP(const CRWRegisters* r) {
    return r->values[fpNumber(r->architecture)] & CRWRegistersPointerMask(r->architecture);
}
uint64_t CRWRegistersGetLR(const CRWRegisters* r) {
    if (r->architecture != CRWArchitectureARM64) return 0;
    return r->values[CRWARM64RegisterLR] & CRWRegistersPointerMask(r->architecture);
}
void CRWRegistersSetPC(CRWRegisters* r, uint64_t value) {
    r->pc = value;
}
void CRWRegistersSetSP(CRWRegisters* r, uint64_t value) {
    r->values[spNumber(r->architecture)] = value;
}
void CRWRegistersSetFP(CRWRegisters* r, uint64_t value) {
    r->values[fpNumber(r->architecture)] = value;
}

bool CRWRegistersHasNumber(uint32_t architecture, uint64_t number) {
    switch (architecture) {
    case CRWArchitectureARM64:
        return number <= 31;
    case CRWArchitectureX86_64:
        return number <= CRWX86_64RegisterRIP;
    default:
        return false;
    }
}

bool CRWRegistersGet(const CRWRegisters* r, uint64_t number, uint64_t* value) {
    *value = 0;
    const uint64_t mask = CRWRegistersPointerMask(r->architecture);
    switch (r->architecture) {
    case CRWArchitectureARM64:
        if (number > 31) return false;
        *value = r->values[number] & mask;
        return true;
    case CRWArchitectureX86_64:
        if (number == CRWX86_64RegisterRIP) {
            *value = r->pc;
            return true;
        }
        if (number > 15) return false;
        *value = r->values[number];
        return true;
    default:
        return false;
    }
}

bool CRWRegistersSet(CRWRegisters* r, uint64_t number, uint64_t value) {
    switch (r->architecture) {
    case CRWArchitectureARM64:
        if (number > 31) return false;
        r->values[number] = value;
        if (number == CRWARM64RegisterLR) r->pc = value;
        return true;
    case CRWArchitectureX86_64:
        if (number == CRWX86_64RegisterRIP) {
            r->pc = value;
            return true;
        }
        if (number > 15) return false;
        r->values[number] = value;
        return true;
    default:
        return false;
    }
}

bool CRWRegistersFromUContext(const void* ucontext, CRWRegisters* registers) {
    if (ucontext == nullptr || registers == nullptr) return false;
    std::memset(registers, 0, sizeof *registers);
#if defined(__x86_64__)
    const greg_t* gregs = static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs;
    static const int kDwarfOrder[16] = {REG_RAX, REG_RDX, REG_RCX, REG_RBX, REG_RSI, REG_RDI,
                                        REG_RBP, REG_RSP, REG_R8,  REG_R9,  REG_R10, REG_R11,
                                        REG_R12, REG_R13, REG_R14, REG_R15};
    registers->architecture = CRWArchitectureX86_64;
    for (int i = 0; i < 16; ++i)
        registers->values[i] = static_cast<uint64_t>(gregs[kDwarfOrder[i]]);
    registers->pc = static_cast<uint64_t>(gregs[REG_RIP]);
    return true;
#elif defined(__aarch64__)
    const mcontext_t& machine = static_cast<const ucontext_t*>(ucontext)->uc_mcontext;
    registers->architecture = CRWArchitectureARM64;
    for (int i = 0; i < 31; ++i)
        registers->values[i] = machine.regs[i];
    registers->values[CRWARM64RegisterSP] = machine.sp;
    registers->pc = machine.pc;
    return true;
#else
    return false;
#endif
}
