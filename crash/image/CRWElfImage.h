// What the image table needs from a loaded ELF image, read from its mapped header and program
// headers: the address range of its loadable segments, its eh_frame_hdr table and the segment
// that holds it, and its GNU build-id (the image's identifier). Runs at crash time as well (the
// crash path's sync): every read goes through the kernel, so an image unmapped meanwhile gives a
// failure, never a fault.
#pragma once

#include <cstdint>

struct CRWElfImageDetails {
    uint64_t base;       // the mapped ELF header
    uint64_t size;       // from the base to the end of the last loadable segment
    uint64_t dynamic;    // its dynamic section; 0 when the image has none
    uint64_t ehFrameHdr; // 0 when the image has none
    uint64_t ehFrameHdrSize;
    uint64_t unwindSegmentStart; // the loadable segment that contains eh_frame_hdr
    uint64_t unwindSegmentEnd;
    uint8_t buildID[32];
    uint32_t buildIDLength; // 0 when the image has no build-id note
};

// Reads the details of the image whose ELF header is mapped at header and whose segments are
// loaded with the given slide (the load bias). False for anything that is not a 64-bit ELF header
// of this machine's byte order, for a header that does not lie where its segment that maps the
// file's start is loaded with that slide, and when the headers cannot be read.
bool CRWElfImageReadDetails(const void* header, intptr_t slide, CRWElfImageDetails* details);

// The table slot for the image: its range, eh_frame_hdr and unwind segment.
struct CRWBinaryImageSlot;
void CRWElfImageFillSlot(const CRWElfImageDetails* details, CRWBinaryImageSlot* slot);

// The build-id as lower-case hex digits and a NUL: out needs 2 * length + 1 bytes (65 suffice).
void CRWElfImageBuildIDString(const CRWElfImageDetails* details, char* out, uint32_t outSize);
