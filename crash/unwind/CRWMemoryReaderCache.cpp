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
    // A walk moves up the stack, so the line after the missing one is fetched in the same call
    // when it can be read too.
    static_assert(CRWMemoryReaderCacheLines == 2, "the two lines are filled together");
    if (CRWMemoryReaderRead(&cache->inner, line, cache->lines[0], 2 * CRWMemoryReaderCacheLineSize)) {
        cache->lineAddress[0] = line;
        cache->lineAddress[1] = line + CRWMemoryReaderCacheLineSize;
    } else if (CRWMemoryReaderRead(&cache->inner, line, cache->lines[0], CRWMemoryReaderCacheLineSize)) {
        cache->lineAddress[0] = line;
        cache->lineAddress[1] = 0;
    } else {
        // Part of the line is unreadable (a guard page, the end of a mapping): ask for exactly
        // what was wanted.
        cache->lineAddress[0] = cache->lineAddress[1] = 0;
        return CRWMemoryReaderRead(&cache->inner, address, destination, length);
    }
    std::memcpy(destination, cache->lines[0] + offset, length);
    return true;
}

} // namespace

void CRWMemoryReaderCacheInit(CRWMemoryReaderCache* cache, const CRWMemoryReader* inner) {
    cache->inner = inner != nullptr ? *inner : CRWMemoryReader{nullptr, nullptr};
    for (uint64_t& address : cache->lineAddress)
        address = 0;
}

CRWMemoryReader CRWMemoryReaderCacheReader(CRWMemoryReaderCache* cache) {
    return CRWMemoryReader{cachedRead, cache};
}
