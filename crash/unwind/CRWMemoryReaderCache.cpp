// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWMemoryReaderCache.h"

#include <cstring>

namespace {

bool cachedRead(void* context, uint64_t address, void* destination, size_t length) {
    auto* cache = static_cast<CRWMemoryReaderCache*>(context);
    const uint64_t line = address & ~uint64_t{CRWMemoryReaderCacheLineSize - 1};
    const uint64_t offset = address - line;
    if (line < 4096 || offset + length > CRWMemoryReaderCacheLineSize)
        return CRWMemoryReaderRead(&cache->inner, address, destination, length);
    for (uint32_t i = 0; i < CRWMemoryReaderCacheLines; ++i) {
        if (cache->lineAddress[i] == line) {
            std::memcpy(destination, cache->lines[i] + offset, length);
            return true;
        }
    }
    const uint32_t victim = cache->nextVictim;
    if (!CRWMemoryReaderRead(&cache->inner, line, cache->lines[victim], CRWMemoryReaderCacheLineSize)) {
        // Part of the block is unreadable (a guard page, the end of a mapping): ask for exactly
        // what was wanted.
        cache->lineAddress[victim] = 0;
        return CRWMemoryReaderRead(&cache->inner, address, destination, length);
    }
    cache->lineAddress[victim] = line;
    cache->nextVictim = (victim + 1) % CRWMemoryReaderCacheLines;
    std::memcpy(destination, cache->lines[victim] + offset, length);
    return true;
}

} // namespace

void CRWMemoryReaderCacheInit(CRWMemoryReaderCache* cache, const CRWMemoryReader* inner) {
    cache->inner = inner != nullptr ? *inner : CRWMemoryReader{nullptr, nullptr};
    for (uint64_t& address : cache->lineAddress)
        address = 0;
    cache->nextVictim = 0;
}

CRWMemoryReader CRWMemoryReaderCacheReader(CRWMemoryReaderCache* cache) {
    return CRWMemoryReader{cachedRead, cache};
}
