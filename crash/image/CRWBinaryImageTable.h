// The fixed table of loaded images that crash-time code searches: 1024 slots, each naming an
// image's address range and its unwind tables. One writer (the binary-images queue) claims and
// clears slots; crash-time readers scan it without locks. A slot's base is claimed first by
// compare-and-swap and its other fields are written afterwards, so a reader may see a base with
// size 0, which matches no address. Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include <cstdint>

inline constexpr uint32_t CRWBinaryImageSlotCount = 1024;

// One image. Words only, so the table can live in the crash context's plain memory.
struct CRWBinaryImageSlot {
    uint64_t baseAddress;        // the mapped image header; 0 marks a free slot
    uint64_t size;               // bytes from the base covered by the image's loadable segments
    uint64_t ehFrameHdr;         // the eh_frame_hdr search table, or 0
    uint64_t ehFrameHdrSize;
    uint64_t unwindSegmentStart; // the loadable segment holding the unwind tables, which bounds
    uint64_t unwindSegmentEnd;   // every read of eh_frame records
    uint64_t unwindInfo;         // a compact unwind section (Mach-O images), or 0
    uint64_t unwindInfoSize;
    uint64_t crashInfo;          // a crash-annotation section, or 0
};

struct CRWBinaryImageTable {
    CRWBinaryImageSlot slots[CRWBinaryImageSlotCount];
    uint64_t slotsInUse; // one past the highest slot ever claimed: lookups stop there
};

// Claims the first free slot for the image and fills it; false when all slots are in use or the
// base is 0.
bool CRWBinaryImageTableStore(CRWBinaryImageTable* table, const CRWBinaryImageSlot* slot);
// Clears the slot whose base is baseAddress; false when none is.
bool CRWBinaryImageTableRemove(CRWBinaryImageTable* table, uint64_t baseAddress);
// A copy of the first slot with base <= address < base + size; false for address 0 or no match.
bool CRWBinaryImageTableFind(const CRWBinaryImageTable* table, uint64_t address, CRWBinaryImageSlot* slot);
// Slots whose base is set.
uint32_t CRWBinaryImageTableCount(const CRWBinaryImageTable* table);
