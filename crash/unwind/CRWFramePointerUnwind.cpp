// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWFramePointerUnwind.h"

#include "crash/unwind/CRWUnwindLog.h"

uint64_t CRWUnwindStackPointerFromFramePointer(uint64_t framePointer) {
    return framePointer + 16;
}

bool CRWUnwindWithLRRegister(CRWRegisters* registers) {
    const uint64_t lr = CRWRegistersGetLR(registers);
    if (lr < 4096) {
        CRWUnwindLogWarn("Error: LR value is invalid");
        return false;
    }
    CRWRegistersSetPC(registers, lr);
    return true;
}

bool CRWUnwindWithFramePointer(CRWRegisters* registers, bool tryLinkRegister, const CRWMemoryReader* reader) {
    if (tryLinkRegister) {
        if (CRWUnwindWithLRRegister(registers)) return true;
        CRWUnwindLogInfo("Unable to use LR, skipping");
    }
    const uint64_t fp = CRWRegistersGetFP(registers);
    uint64_t words[2] = {0, 0};
    if (!CRWMemoryReaderRead(reader, fp, words, sizeof words)) {
        CRWUnwindLogWarn("Error: failed to read memory at address %p", (void*)(uintptr_t)fp);
        return false;
    }
    CRWRegistersSetPC(registers, words[1]);
    CRWRegistersSetFP(registers, words[0]);
    CRWRegistersSetSP(registers, CRWUnwindStackPointerFromFramePointer(fp));
    return true;
}
