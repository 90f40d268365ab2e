// How the unwinder reads memory it cannot trust: stack words of a crashed thread and pointers that
// unwind tables refer to. Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

// A copy function and its context. The copy fails instead of faulting; addresses below 4096 are
// refused before the function is asked. Tests pass readers over synthetic stacks.
struct CRWMemoryReader {
    bool (*read)(void* context, uint64_t address, void* destination, size_t length);
    void* context;
};

// Copies length bytes at address into destination; false for a null reader, an address below
// 4096, a range that wraps, or a failed copy.
bool CRWMemoryReaderRead(const CRWMemoryReader* reader, uint64_t address, void* destination, size_t length);

// Reads one little-endian 64-bit word; *value is 0 when the read fails.
bool CRWMemoryReaderReadWord(const CRWMemoryReader* reader, uint64_t address, uint64_t* value);

// The crash-time safe read of this process's memory (CRWReadMemory: the kernel copies, so an
// unmapped address fails instead of faulting).
CRWMemoryReader CRWMemoryReaderSafe();
