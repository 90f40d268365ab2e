// A small read-through cache in front of a memory reader. A walk reads a few words from each of
// many neighbouring frames; fetching two pages at a time turns those into a few kernel reads. The
// cache lives in the walk's own context and is dropped with it. Runs at crash time: no
// allocation, no locks, no exceptions.
#pragma once

#include "crash/unwind/CRWMemoryReader.h"

#include <cstdint>

inline constexpr uint32_t CRWMemoryReaderCacheLines = 2;
inline constexpr uint32_t CRWMemoryReaderCacheLineSize = 4096;

struct CRWMemoryReaderCache {
    CRWMemoryReader inner;
    uint64_t lineAddress[CRWMemoryReaderCacheLines]; // 0 for an empty line
    alignas(16) uint8_t lines[CRWMemoryReaderCacheLines][CRWMemoryReaderCacheLineSize];
};

// Empties the cache and puts it in front of inner.
void CRWMemoryReaderCacheInit(CRWMemoryReaderCache* cache, const CRWMemoryReader* inner);

// A reader that serves from the cache. Reads that cross a line, or whose line cannot be fetched
// whole, go to the inner reader unchanged, so the answers are the inner reader's.
CRWMemoryReader CRWMemoryReaderCacheReader(CRWMemoryReaderCache* cache);
