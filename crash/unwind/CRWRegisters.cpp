// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWRegisters.h"

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

uint64_t CRWRegistersGetPC(const CRWRegisters* r) { return r->pc & CRWRegistersPointerMask(r->architecture); }
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
void CRWRegistersSetPC(CRWRegisters* r, uint64_t value) { r->pc = value; }
void CRWRegistersSetSP(CRWRegisters* r, uint64_t value) { r->values[spNumber(r->architecture)] = value; }
void CRWRegistersSetFP(CRWRegisters* r, uint64_t value) { r->values[fpNumber(r->architecture)] = value; }

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
