// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWUnwind.h"

#include "crash/image/CRWBinaryImage.h"
#include "crash/record/CRWMemory.h"
#include "crash/unwind/CRWDwarfCFI.h"
#include "crash/unwind/CRWDwarfUnwind.h"
#include "crash/unwind/CRWEhFrameHdr.h"
#include "crash/unwind/CRWFramePointerUnwind.h"
#include "crash/unwind/CRWUnwindLog.h"

#include <cstddef>
#include <cstring>

namespace {

bool findInTable(void* context, uint64_t address, CRWBinaryImageSlot* slot) {
    return CRWBinaryImageTableFind(static_cast<const CRWBinaryImageTable*>(context), address, slot);
}

bool findImage(CRWUnwindContext* context, uint64_t pc, CRWBinaryImageSlot* slot) {
    const CRWBinaryImageSlot& last = context->lastImage;
    if (last.baseAddress != 0 && pc >= last.baseAddress && pc - last.baseAddress < last.size) {
        *slot = last;
        return true;
    }
    const CRWUnwindEnvironment* environment = context->environment;
    if (environment->findImage == nullptr || !environment->findImage(environment->imageContext, pc, slot))
        return false;
    context->lastImage = *slot;
    return true;
}

// The image's search table, parsed once per image.
bool headerFor(CRWUnwindContext* context, const CRWBinaryImageSlot* image, CRWEhFrameHdr** header) {
    if (context->lastHeader.start != image->ehFrameHdr) {
        if (!CRWEhFrameHdrInit(&context->lastHeader, image->ehFrameHdr,
                               image->ehFrameHdr + image->ehFrameHdrSize, &context->reader)) {
            context->lastHeader.start = 0;
            return false;
        }
        if (context->lastHeader.ehFrame < image->unwindSegmentStart ||
            context->lastHeader.ehFrame >= image->unwindSegmentEnd) {
            CRWUnwindLogWarn("Error: eh_frame lies outside its segment");
            context->lastHeader.start = 0;
            return false;
        }
    }
    *header = &context->lastHeader;
    return true;
}

// The FDE with its CIE; the CIE and its initial row come from the previous frame when shared.
bool recordFor(CRWUnwindContext* context, const CRWDwarfSection* section, uint64_t fde,
               CRWDwarfCFIRecord* record) {
    uint64_t cieAddress = 0;
    if (!CRWDwarfFDECIEAddress(section, fde, &cieAddress)) return false;
    record->reader = section->reader;
    if (cieAddress == context->lastCIEAddress) {
        record->cie = context->lastCIE;
        return CRWDwarfParseFDERecord(&record->fde, false, &record->cie, section, fde);
    }
    context->lastCIEAddress = 0;
    if (!CRWDwarfParseFDERecord(&record->fde, true, &record->cie, section, fde)) return false;
    if (!CRWDwarfUnwindRunCIE(record, &context->lastCIEState)) return false;
    context->lastCIE = record->cie;
    context->lastCIEAddress = cieAddress;
    return true;
}

// DWARF through the image's eh_frame_hdr table; the FDE must cover the PC.
bool unwindWithEhFrameHdr(CRWUnwindContext* context, const CRWBinaryImageSlot* image) {
    CRWEhFrameHdr* header = nullptr;
    if (!headerFor(context, image, &header)) {
        CRWUnwindLogError("Unable to read unwind info");
        return false;
    }
    const uint64_t pc = CRWRegistersGetPC(&context->registers);
    uint64_t fde = 0;
    if (!CRWEhFrameHdrFindFDE(header, pc, &fde, nullptr)) {
        CRWUnwindLogInfo("Unable to lookup dwarf unwind for pc %p", (void*)(uintptr_t)pc);
        return false;
    }
    const CRWDwarfSection section{header->ehFrame, image->unwindSegmentEnd, &context->reader};
    CRWDwarfCFIRecord record;
    if (!recordFor(context, &section, fde, &record)) {
        CRWUnwindLogError("Unable to init FDE");
        return false;
    }
    if (pc - record.fde.pcStart >= record.fde.pcRange) {
        CRWUnwindLogInfo("PC %p lies outside its FDE", (void*)(uintptr_t)pc);
        return false;
    }
    if (!CRWDwarfUnwindComputeRegistersFromInitialState(&record, &context->lastCIEState,
                                                        &context->registers)) {
        CRWUnwindLogError("Failed to compute DWARF registers");
        return false;
    }
    // Below a signal frame lies the interrupted code, at the very instruction it stopped at.
    context->pcIsExact = record.cie.signalFrame != 0;
    return true;
}

bool unwindWithTables(CRWUnwindContext* context) {
    const uint64_t pc = CRWRegistersGetPC(&context->registers);
    CRWBinaryImageSlot image;
    if (!findImage(context, pc, &image)) {
        CRWUnwindLogWarn("Unable to find binary for %p", (void*)(uintptr_t)pc);
        return false;
    }
    CRWUnwindLogDebug("Unwinding frame %u in binary image at %p", context->frameCount,
                      (void*)(uintptr_t)image.baseAddress);
    if (image.ehFrameHdr >= 4096) return unwindWithEhFrameHdr(context, &image);
    if (image.unwindInfo < 4096) {
        CRWUnwindLogInfo("Binary image at %p has no unwind info", (void*)(uintptr_t)image.baseAddress);
        return false;
    }
    const uint64_t ehFrameSize = image.unwindSegmentEnd > image.unwindSegmentStart
                                     ? image.unwindSegmentEnd - image.unwindSegmentStart
                                     : 0;
    if (!CRWCompactUnwindInit(&context->compactUnwindState, image.unwindInfo, image.unwindInfoSize,
                              image.unwindSegmentStart, ehFrameSize, image.baseAddress, &context->reader)) {
        CRWUnwindLogError("Unable to read unwind info");
        return false;
    }
    return CRWCompactUnwindLookupAndCompute(&context->compactUnwindState, &context->registers);
}

bool failedToAdvance() {
    CRWUnwindLogError("Failed to advance to the next frame");
    return false;
}

} // namespace

namespace {

bool findInContext(void*, uint64_t address, CRWBinaryImageSlot* slot) {
    return CRWBinaryImageSafeFindImageForAddress(address, slot);
}

bool readSafely(void*, uint64_t address, void* destination, size_t length) {
    return CRWReadMemory(static_cast<uintptr_t>(address), destination, length);
}

// Constant-initialised: crash-time callers never meet a guarded static.
constinit const CRWUnwindEnvironment kDefaultEnvironment{
    findInContext, nullptr, {readSafely, nullptr}, false};

} // namespace

const CRWUnwindEnvironment* CRWUnwindEnvironmentDefault() {
    return &kDefaultEnvironment;
}

CRWUnwindEnvironment CRWUnwindEnvironmentWithTable(const CRWBinaryImageTable* table, CRWMemoryReader reader) {
    return CRWUnwindEnvironment{findInTable, const_cast<CRWBinaryImageTable*>(table), reader, false};
}

bool CRWUnwindInit(CRWUnwindContext* context, const CRWRegisters* registers,
                   const CRWUnwindEnvironment* environment) {
    if (context == nullptr || registers == nullptr || environment == nullptr) return false;
    // Everything but the cache's line buffers, which its tags mark empty.
    std::memset(context, 0, offsetof(CRWUnwindContext, stackCache));
    std::memcpy(&context->registers, registers, sizeof *registers);
    context->pcIsExact = true;
    context->environment = environment;
    CRWMemoryReaderCacheInit(&context->stackCache, &environment->reader);
    context->reader = CRWMemoryReaderCacheReader(&context->stackCache);
    return true;
}

bool CRWUnwindNextFrame(CRWUnwindContext* context) {
    if (context == nullptr || context->environment == nullptr) {
        CRWUnwindLogWarn("Error: invalid inputs");
        return false;
    }
    CRWRegisters* registers = &context->registers;
    if (!CRWUnwindContextHasValidPCAndSP(context)) {
        if (context->frameCount == 0) {
            CRWUnwindLogInfo("Cancelling unwind for thread with invalid PC/SP");
        } else {
            CRWUnwindLogWarn("Error: thread PC/SP invalid before unwind");
        }
        return false;
    }
    if (context->frameCount >= CRWUnwindMaximumFrames) {
        CRWUnwindLogError("Exceeded maximum number of frames");
        return false;
    }

    if (context->frameCount > 0) {
        // A return address may lie one past its function's end; its call is looked up instead. An
        // exact pc is looked up where it is: one byte back may be the function before, under that
        // function's rules (a fault on a function's first instruction, a stack overflow's first
        // push).
        if (!context->pcIsExact) CRWRegistersSetPC(registers, CRWRegistersGetPC(registers) - 1);
        context->pcIsExact = false;
        if (CRWRegistersGetPC(registers) < 4096) {
            CRWUnwindLogWarn("PC is invalid");
            return failedToAdvance();
        }
        const bool unwound = !context->environment->framePointersOnly && unwindWithTables(context);
        if (!unwound) {
            if (CRWRegistersGetFP(registers) == 0) {
                CRWUnwindLogInfo("FP is zero, aborting unwind");
                CRWRegistersSetPC(registers, 0);
            } else if (!CRWUnwindWithFramePointer(registers, context->frameCount == 1, &context->reader)) {
                CRWUnwindLogError("Unable to use frame pointer");
                return failedToAdvance();
            }
        }
    }

    const uint64_t pc = CRWRegistersGetPC(registers);
    if (pc < 4096) return false;
    const uint64_t sp = CRWRegistersGetSP(registers);
    if (sp < 4096) {
        CRWUnwindLogWarn("Error: SP (%p) isn't a valid pointer", (void*)(uintptr_t)sp);
        return false;
    }
    // A recursion moves the stack; a frame that repeats the last one's PC and SP (a frame record
    // that names itself, say) would repeat forever.
    if (context->frameCount > 0 && pc == context->lastFramePC && sp == context->lastFrameSP) {
        CRWUnwindLogWarn("Error: frame at %p repeats the frame before it", (void*)(uintptr_t)pc);
        return failedToAdvance();
    }
    context->repeatCount =
        (context->frameCount > 0 && pc == context->lastFramePC) ? context->repeatCount + 1 : 0;
    context->frameCount += 1;
    context->lastFramePC = pc;
    context->lastFrameSP = sp;
    return true;
}

uint64_t CRWUnwindGetPC(const CRWUnwindContext* context) {
    return context ? CRWRegistersGetPC(&context->registers) : 0;
}

uint64_t CRWUnwindGetStackPointer(const CRWUnwindContext* context) {
    return context ? CRWRegistersGetSP(&context->registers) : 0;
}

uint32_t CRWUnwindGetFrameRepeatCount(const CRWUnwindContext* context) {
    return context ? context->repeatCount : 0;
}

bool CRWUnwindContextHasValidPCAndSP(const CRWUnwindContext* context) {
    return context != nullptr && CRWRegistersGetPC(&context->registers) >= 4096 &&
           CRWRegistersGetSP(&context->registers) >= 4096;
}

bool CRWUnwindIsAddressExecutable(const CRWUnwindEnvironment* environment, uint64_t address) {
    CRWBinaryImageSlot slot;
    return environment != nullptr && environment->findImage != nullptr &&
           environment->findImage(environment->imageContext, address, &slot);
}

bool CRWUnwindFirstExecutableAddress(const CRWUnwindEnvironment* environment, uint64_t start, uint64_t end,
                                     uint64_t* address) {
    if (address == nullptr || environment == nullptr) return false;
    *address = 0;
    for (uint64_t slot = start; slot < end && slot >= start; slot += 8) {
        if (slot < 4096) continue;
        uint64_t value = 0;
        if (!CRWMemoryReaderReadWord(&environment->reader, slot, &value)) return false;
        if (CRWUnwindIsAddressExecutable(environment, value)) {
            *address = value;
            return true;
        }
    }
    return false;
}
