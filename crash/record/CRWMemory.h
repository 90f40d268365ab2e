// Runs at crash time. Reads of memory that may not be mapped (another thread's stack, a pointer
// found in a register) that fail instead of faulting, and string copies into the guarded region.
#pragma once

#include <cstddef>
#include <cstdint>

// Addresses below this (the first page) are invalid throughout crash capture.
inline constexpr uintptr_t CRWMinimumValidAddress = 4096;

inline bool CRWIsValidPointer(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer) >= CRWMinimumValidAddress;
}

// Copies `length` bytes at `source` of this process into `destination` through the kernel
// (process_vm_readv), so an unmapped source gives false, never a fault. False for a source in the
// first page or a partial read.
bool CRWReadMemory(uintptr_t source, void* destination, size_t length);
// Probes the string at `source` byte by byte with CRWReadMemory: true at its zero byte or once
// `maximumLength` bytes were readable without one; false when a byte cannot be read. On success
// `*outString` is `source` itself (nothing is copied). A range that is empty or wraps around
// succeeds without probing. False without `outString`.
bool CRWReadString(uintptr_t source, const char** outString, size_t maximumLength);
// A copy of `text` with its zero byte in the read-only region of the crash context's allocator
// (the heap once that is protected or full); none for none.
char* CRWDupString(const char* text);
