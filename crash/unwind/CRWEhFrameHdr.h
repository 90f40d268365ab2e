// The binary-search table that an ELF image's eh_frame_hdr segment carries: version, the eh_frame
// address and a sorted table of (function start, FDE address) pairs. Finding a PC's FDE is one
// binary search. Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include "crash/unwind/CRWDataParsing.h"

#include <cstdint>

struct CRWEhFrameHdr {
    uint64_t start;        // the header's own address: the base of data-relative values
    uint64_t ehFrame;      // address of the eh_frame section
    uint64_t fdeCount;     // entries in the table
    uint64_t table;        // address of the first entry
    uint8_t tableEncoding; // pointer encoding of every table value
    uint8_t entrySize;     // bytes per value (entries hold two)
};

// Reads the header in [start, end). False for version other than 1, a table encoding without a
// fixed size, or a table that does not fit before end. A header without a table (count omitted or
// 0) parses and finds nothing.
bool CRWEhFrameHdrInit(CRWEhFrameHdr* header, uint64_t start, uint64_t end, const CRWMemoryReader* reader);

// The FDE whose function start is the greatest one not above pc; false when pc lies below every
// entry or the table is empty. The caller checks the FDE's range.
bool CRWEhFrameHdrFindFDE(const CRWEhFrameHdr* header, uint64_t pc, uint64_t* fdeAddress,
                          uint64_t* functionStart);
