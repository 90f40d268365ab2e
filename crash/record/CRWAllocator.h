// Runs at crash time. The guarded allocator: one anonymous mapping made at start-up, split into a
// writable region and a region that is write-protected once start-up is done, with an
// inaccessible guard page before, between and after them, so that a stray write running off either
// region faults instead of corrupting its neighbour. The crash context lives in it.
//
// Allocation is lock-free (one compare-and-swap) and safe inside a signal handler; every block is
// aligned to 16 bytes. Region memory is never returned. When a region is exhausted, or once the
// allocator is protected, allocation falls back to the heap with a warning in the internal log.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// One region: its size, its start and the next free byte. Starts are page-aligned.
struct CRWAllocatorRegion {
    uint64_t size;
    uint64_t start;
    std::atomic<uint64_t> next;
};

// The allocator record, the first CRWAllocatorRecordSize bytes of its own read-only region.
struct CRWAllocator {
    uint64_t mappingStart;
    bool writeProtected; // CRWAllocatorProtect has run
    CRWAllocatorRegion writableRegion;
    CRWAllocatorRegion readOnlyRegion;
};

inline constexpr size_t CRWAllocatorRecordSize = 64;
inline constexpr size_t CRWAllocatorAlignment = 16;
static_assert(sizeof(CRWAllocator) <= CRWAllocatorRecordSize);

// Which region an allocation takes from.
enum CRWAllocationType : int {
    CRWAllocationTypeReadOnly = 0, // written during start-up only, then protected
    CRWAllocationTypeWritable = 1, // stays writable for the whole run
};

// Region sizes for `space` bytes asked with page size `pageSize`: whole pages, always one more than
// the bytes need (none for a writable space of 0). The read-only size includes the allocator record.
uint64_t CRWAllocatorWritableRegionSize(uint64_t writableSpace, uint64_t pageSize);
uint64_t CRWAllocatorReadOnlyRegionSize(uint64_t readOnlySpace, uint64_t pageSize);

// Maps, guards and lays out a new allocator; none (logged) when mapping or guarding fails.
CRWAllocator* CRWAllocatorCreate(size_t writableSpace, size_t readableSpace);
// `size` bytes from the region of `type`, with the heap fallbacks described above; none for an
// unknown type or when the heap fails too. Heap blocks handed out while an allocator exists are
// never freed.
void* CRWAllocatorSafeAllocate(CRWAllocator* allocator, size_t size, int type);
// `size` bytes (rounded up to the alignment) from the region, or a heap block when it is full.
void* CRWAllocatorSafeAllocateFromRegion(CRWAllocatorRegion* region, size_t size);
// Makes the read-only region read-only; later allocations of either type come from the heap.
// False for an invalid allocator or when the protection fails (the flag stays set).
bool CRWAllocatorProtect(CRWAllocator* allocator);
// Makes the whole mapping, guard pages included, readable and writable again.
void CRWAllocatorUnprotect(CRWAllocator* allocator);
// Frees a heap block only when no allocator is given; region memory is never returned.
void CRWAllocatorFree(CRWAllocator* allocator, void* address);
// Does nothing: the mapping lives as long as the process.
void CRWAllocatorDestroy(CRWAllocator* allocator);
