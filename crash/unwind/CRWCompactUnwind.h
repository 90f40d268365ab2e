// Compact unwind information (the __unwind_info section of arm64 Mach-O images, version 1): a
// first-level index of function ranges, compressed second-level pages of 32-bit entries, and the
// 32-bit encodings that say how to reach the caller. All tables are read in place within the
// section's bounds; stack memory through the reader. Runs at crash time: no allocation, no locks,
// no exceptions.
#pragma once

#include "crash/unwind/CRWMemoryReader.h"
#include "crash/unwind/CRWRegisters.h"

#include <cstdint>

// The section's 28-byte header; offsets are from the section start.
struct CRWCompactUnwindHeader {
    uint32_t version;
    uint32_t commonEncodingsArraySectionOffset;
    uint32_t commonEncodingsArrayCount;
    uint32_t personalityArraySectionOffset;
    uint32_t personalityArrayCount;
    uint32_t indexSectionOffset;
    uint32_t indexCount;
};

// One 12-byte first-level index entry.
struct CRWCompactUnwindIndexEntry {
    uint32_t functionOffset;
    uint32_t secondLevelPagesSectionOffset;
    uint32_t lsdaIndexArraySectionOffset;
};

// The per-image state of one lookup.
struct CRWCompactUnwindContext {
    uint64_t unwindInfo;
    uint64_t unwindInfoSize;
    uint64_t ehFrame;
    uint64_t ehFrameSize;
    uint64_t loadAddress;
    const CRWMemoryReader* reader;
    CRWCompactUnwindHeader unwindHeader;
    CRWCompactUnwindIndexEntry firstLevelEntry;
    uint32_t firstLevelNextFunctionOffset;
};

struct CRWCompactUnwindResult {
    uint32_t encoding;
    uint64_t functionStart;
    uint64_t functionEnd;
};

// Encoding modes (encoding AND CRWCompactUnwindModeMask).
enum : uint32_t {
    CRWCompactUnwindModeMask = 0x0F000000,
    CRWCompactUnwindModeFrameless = 0x02000000,
    CRWCompactUnwindModeDwarf = 0x03000000,
    CRWCompactUnwindModeFrame = 0x04000000,
};

// Checks the inputs and copies the header; false (logged) for a missing context, section or load
// address, a section shorter than its header, or a version other than 1. ehFrame may be 0.
bool CRWCompactUnwindInit(CRWCompactUnwindContext* context, uint64_t unwindInfo, uint64_t unwindInfoSize,
                          uint64_t ehFrame, uint64_t ehFrameSize, uint64_t loadAddress,
                          const CRWMemoryReader* reader);

// First level then second level: the encoding and function range for pc.
bool CRWCompactUnwindLookup(CRWCompactUnwindContext* context, uint64_t pc, CRWCompactUnwindResult* result);

// Applies one encoding: frame-based (one frame-pointer step), frameless (PC := LR, SP past the
// encoded stack size) or DWARF (the FDE at the encoded eh_frame offset).
bool CRWCompactUnwindComputeRegisters(CRWCompactUnwindContext* context, const CRWCompactUnwindResult* result,
                                      CRWRegisters* registers);

// The DWARF mode: parses the FDE at ehFrame + fdeOffset with its CIE and applies it.
bool CRWCompactUnwindDwarfFrame(CRWCompactUnwindContext* context, uint64_t fdeOffset,
                                CRWRegisters* registers);

// Lookup and compute for the registers' PC; a PC below the load address fails quietly.
bool CRWCompactUnwindLookupAndCompute(CRWCompactUnwindContext* context, CRWRegisters* registers);
