// Runs at crash time (allocation from a region). The guarded mapping, its two regions and the
// lock-free allocation from them.
#include "crash/record/CRWAllocator.h"

#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWHost.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWSDKFileLog.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace {

void* heapFallback(const char* function, size_t size) {
    void* block = malloc(size);
    if (block == nullptr) CRWSDKLogWarnIn(function, "Unable to malloc in %s\n", function);
    return block;
}

bool guardPage(uint64_t address, uint64_t pageSize) {
    return mprotect(reinterpret_cast<void*>(address), pageSize, PROT_NONE) == 0;
}

} // namespace

uint64_t CRWAllocatorWritableRegionSize(uint64_t writableSpace, uint64_t pageSize) {
    if (writableSpace == 0) return 0;
    return (writableSpace / pageSize + 1) * pageSize;
}

uint64_t CRWAllocatorReadOnlyRegionSize(uint64_t readOnlySpace, uint64_t pageSize) {
    return ((readOnlySpace + CRWAllocatorRecordSize) / pageSize + 1) * pageSize;
}

CRWAllocator* CRWAllocatorCreate(size_t writableSpace, size_t readableSpace) {
    const uint64_t page = CRWHostGetPageSize();
    const uint64_t writableSize = CRWAllocatorWritableRegionSize(writableSpace, page);
    const uint64_t readOnlySize = CRWAllocatorReadOnlyRegionSize(readableSpace, page);
    const uint64_t total = writableSize + readOnlySize + 3 * page;

    // This platform has no uncached mapping flag; private anonymous pages serve the same purpose.
    void* mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_ANONYMOUS | MAP_PRIVATE, -1, 0);
    if (mapping == MAP_FAILED) {
        CRWSDKLogError("Mapping failed %s\n", CRWErrnoName(errno));
        return nullptr;
    }
    const uint64_t start = reinterpret_cast<uint64_t>(mapping);
    const uint64_t writableStart = start + page;
    const uint64_t readOnlyStart = start + 2 * page + writableSize;
    // The length modifier is not understood by the internal log, which writes "%zu" as it stands.
    CRWSDKLogInfo("Mapping: %p %p %p, total: %zu K\n", mapping, reinterpret_cast<void*>(writableStart),
                  reinterpret_cast<void*>(readOnlyStart), static_cast<size_t>(total / 1024));

    if (!guardPage(start, page)) {
        CRWSDKLogError("First guard protection failed %s\n", CRWErrnoName(errno));
        return nullptr;
    }
    if (!guardPage(writableStart + writableSize, page)) {
        CRWSDKLogError("Middle guard protection failed %s\n", CRWErrnoName(errno));
        return nullptr;
    }
    if (!guardPage(readOnlyStart + readOnlySize, page)) {
        CRWSDKLogError("Last guard protection failed %s\n", CRWErrnoName(errno));
        return nullptr;
    }

    // The record takes the first bytes of its own read-only region.
    auto* allocator = new (reinterpret_cast<void*>(readOnlyStart)) CRWAllocator{};
    allocator->mappingStart = start;
    allocator->writeProtected = false;
    allocator->writableRegion.size = writableSize;
    allocator->writableRegion.start = writableStart;
    allocator->writableRegion.next.store(writableStart);
    allocator->readOnlyRegion.size = readOnlySize;
    allocator->readOnlyRegion.start = readOnlyStart;
    allocator->readOnlyRegion.next.store(readOnlyStart + CRWAllocatorRecordSize);
    CRWSDKLogDebug("Allocator successfully created %p", static_cast<void*>(allocator));
    return allocator;
}

void* CRWAllocatorSafeAllocateFromRegion(CRWAllocatorRegion* region, size_t size) {
    // Rounding every size keeps every block 16-byte aligned, since the regions start on pages.
    const uint64_t rounded = size > SIZE_MAX - (CRWAllocatorAlignment - 1)
                                 ? UINT64_MAX
                                 : (size + CRWAllocatorAlignment - 1) & ~uint64_t(CRWAllocatorAlignment - 1);
    if (CRWIsValidPointer(region)) {
        uint64_t next = region->next.load();
        for (;;) {
            const uint64_t used = next - region->start;
            if (rounded > region->size || used > region->size - rounded) break;
            if (region->next.compare_exchange_weak(next, next + rounded))
                return reinterpret_cast<void*>(next);
        }
    }
    CRWSDKLogWarn("Unable to allocate sufficient memory, falling back to malloc\n");
    return heapFallback("CRWAllocatorSafeAllocateFromRegion", size);
}

void* CRWAllocatorSafeAllocate(CRWAllocator* allocator, size_t size, int type) {
    if (!CRWIsValidPointer(allocator)) {
        CRWSDKLogWarn("Allocator invalid, falling back to malloc\n");
        return heapFallback("CRWAllocatorSafeAllocate", size);
    }
    if (allocator->writeProtected) {
        CRWSDKLogWarn("Allocator already protected, falling back to malloc\n");
        return heapFallback("CRWAllocatorSafeAllocate", size);
    }
    switch (type) {
    case CRWAllocationTypeReadOnly:
        return CRWAllocatorSafeAllocateFromRegion(&allocator->readOnlyRegion, size);
    case CRWAllocationTypeWritable:
        return CRWAllocatorSafeAllocateFromRegion(&allocator->writableRegion, size);
    default:
        return nullptr;
    }
}

bool CRWAllocatorProtect(CRWAllocator* allocator) {
    if (!CRWIsValidPointer(allocator)) {
        CRWSDKLogError("Invalid allocator");
        return false;
    }
    if (allocator->writeProtected) {
        CRWSDKLogWarn("Write protection already enabled");
        return true;
    }
    // The flag lives in the region about to become read-only, so it is set first.
    allocator->writeProtected = true;
    return mprotect(reinterpret_cast<void*>(allocator->readOnlyRegion.start), allocator->readOnlyRegion.size,
                    PROT_READ) == 0;
}

void CRWAllocatorUnprotect(CRWAllocator* allocator) {
    if (!CRWIsValidPointer(allocator)) return;
    const uint64_t page = allocator->writableRegion.start - allocator->mappingStart;
    const uint64_t total = allocator->writableRegion.size + allocator->readOnlyRegion.size + 3 * page;
    // On failure the record may still be read-only, and the flag is already set: leave it alone.
    if (mprotect(reinterpret_cast<void*>(allocator->mappingStart), total, PROT_READ | PROT_WRITE) == 0)
        allocator->writeProtected = false;
}

void CRWAllocatorFree(CRWAllocator* allocator, void* address) {
    if (allocator == nullptr) free(address);
}

void CRWAllocatorDestroy(CRWAllocator*) {}
