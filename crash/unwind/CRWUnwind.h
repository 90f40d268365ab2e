// The frame iterator: walks a thread's stack one frame at a time from a register state, through
// each image's unwind tables (DWARF via eh_frame_hdr on ELF images, compact unwind on Mach-O
// images) and the frame-pointer chain where those do not serve. All state lives in the caller's
// context. Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include "crash/image/CRWBinaryImageTable.h"
#include "crash/unwind/CRWCompactUnwind.h"
#include "crash/unwind/CRWDwarfState.h"
#include "crash/unwind/CRWEhFrameHdr.h"
#include "crash/unwind/CRWMemoryReader.h"
#include "crash/unwind/CRWMemoryReaderCache.h"
#include "crash/unwind/CRWRegisters.h"

#include <cstdint>

// A thread yields at most this many frames.
inline constexpr uint32_t CRWUnwindMaximumFrames = 600000;

// Where the walk finds images and reads stack memory. findImage answers the image containing an
// address (crash-safe); framePointersOnly skips the unwind tables.
struct CRWUnwindEnvironment {
    bool (*findImage)(void* context, uint64_t address, CRWBinaryImageSlot* slot);
    void* imageContext;
    CRWMemoryReader reader;
    bool framePointersOnly;
};

// The crash-time environment: the image table of the crash context and the safe memory read.
const CRWUnwindEnvironment* CRWUnwindEnvironmentDefault();

// An environment over one image table and reader.
CRWUnwindEnvironment CRWUnwindEnvironmentWithTable(const CRWBinaryImageTable* table, CRWMemoryReader reader);

// The caller-owned cursor.
struct CRWUnwindContext {
    CRWRegisters registers;
    uint32_t frameCount;
    // Whether the registers' pc is where the thread stands (the first frame, and the frame a
    // signal interrupted) rather than a return address, which may lie past its call's function.
    bool pcIsExact;
    CRWCompactUnwindContext compactUnwindState;
    uint64_t lastFramePC;
    uint64_t lastFrameSP;
    uint32_t repeatCount;
    const CRWUnwindEnvironment* environment;
    // What the previous frame looked up, tried first by the next: its image with that image's
    // search table, and the last CIE with its row after the initial instructions.
    CRWBinaryImageSlot lastImage;
    CRWEhFrameHdr lastHeader;
    uint64_t lastCIEAddress;
    CRWDwarfCIERecord lastCIE;
    CRWDwarfState lastCIEState;
    CRWMemoryReader reader;          // the environment's reader behind the cache below
    CRWMemoryReaderCache stackCache; // last: initialisation clears everything before it
};

// Zeroes the context and copies the registers; false for a null context, registers or environment.
bool CRWUnwindInit(CRWUnwindContext* context, const CRWRegisters* registers,
                   const CRWUnwindEnvironment* environment);

// Moves to the next frame; the first call yields the interrupted frame itself. False at the end of
// the stack (PC below 4096) and on failure; the frames produced so far stand.
bool CRWUnwindNextFrame(CRWUnwindContext* context);

uint64_t CRWUnwindGetPC(const CRWUnwindContext* context);
uint64_t CRWUnwindGetStackPointer(const CRWUnwindContext* context);
// How many frames in a row before this one had the same PC.
uint32_t CRWUnwindGetFrameRepeatCount(const CRWUnwindContext* context);
bool CRWUnwindContextHasValidPCAndSP(const CRWUnwindContext* context);

// True when the address lies in an image the environment knows.
bool CRWUnwindIsAddressExecutable(const CRWUnwindEnvironment* environment, uint64_t address);
// The first stack word in [start, end) (8-byte steps; slot addresses below 4096 skipped) that
// points into a known image; false when a read fails or none does.
bool CRWUnwindFirstExecutableAddress(const CRWUnwindEnvironment* environment, uint64_t start, uint64_t end,
                                     uint64_t* address);
