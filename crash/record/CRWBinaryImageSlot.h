// Runs at crash time. The fixed table of loaded images that crash-time lookups search, as it lives
// in the writable context: 1024 slots of plain words. The image layer (crash/image) fills and
// searches it; this layer only holds it.
#pragma once

#include <cstdint>

inline constexpr uint32_t CRWBinaryImageSlotCount = 1024;

// One loaded image. A base of 0 marks a free slot; the base is claimed first (atomically) and the
// other fields filled afterwards, the size last.
struct CRWBinaryImageSlot {
    uint64_t baseAddress; // the mapped image header
    uint64_t size;        // bytes from the base covered by the image's loadable segments
    uint64_t ehFrameHdr;  // the eh_frame_hdr search table, or 0
    uint64_t ehFrameHdrSize;
    uint64_t unwindSegmentStart; // where eh_frame records may be read: the loadable segment
    uint64_t unwindSegmentEnd;   // holding eh_frame_hdr, or a Mach-O image's __eh_frame section
    uint64_t unwindInfo;         // a compact unwind section (Mach-O images), or 0
    uint64_t unwindInfoSize;
    uint64_t crashInfo; // a crash-annotation section, or 0
};

struct CRWBinaryImageTable {
    CRWBinaryImageSlot slots[CRWBinaryImageSlotCount];
    uint64_t slotsInUse; // one past the highest slot ever claimed: lookups stop there
};
