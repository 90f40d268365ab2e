// The frame-pointer chain, the unwinder's fallback: every frame saves the caller's FP and the
// return address as two words at FP (arm64 and x86_64 alike). Runs at crash time: no allocation,
// no locks, no exceptions.
#pragma once

#include "crash/unwind/CRWMemoryReader.h"
#include "crash/unwind/CRWRegisters.h"

#include <cstdint>

// The SP of the frame whose frame pointer is given: FP + 16.
uint64_t CRWUnwindStackPointerFromFramePointer(uint64_t framePointer);

// PC := LR when LR is valid (at least 4096); false otherwise and on x86_64, which has no LR.
bool CRWUnwindWithLRRegister(CRWRegisters* registers);

// One step: with tryLinkRegister, PC := LR when that works; otherwise reads the two words at FP:
// FP := the first, PC := the second, SP := old FP + 16. False when the words cannot be read.
bool CRWUnwindWithFramePointer(CRWRegisters* registers, bool tryLinkRegister, const CRWMemoryReader* reader);
