// Runs at crash time. Kernel-checked reads of our own memory and string copies into the guarded
// region.
#include "crash/record/CRWMemory.h"

#include "crash/record/CRWAllocator.h"
#include "crash/record/CRWContext.h"

#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

bool CRWReadMemory(uintptr_t source, void* destination, size_t length) {
    if (source < CRWMinimumValidAddress) return false;
    if (length == 0) return true;
    // The kernel copies from our own address space and reports an unmapped source as an error
    // instead of raising a fault.
    struct iovec local {
        destination, length
    };
    struct iovec remote {
        reinterpret_cast<void*>(source), length
    };
    const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    return copied == static_cast<ssize_t>(length);
}

bool CRWReadString(uintptr_t source, const char** outString, size_t maximumLength) {
    if (outString == nullptr) return false;
    if (source + maximumLength <= source) {
        *outString = reinterpret_cast<const char*>(source);
        return true;
    }
    for (size_t offset = 0; offset < maximumLength; ++offset) {
        char byte = 0;
        if (!CRWReadMemory(source + offset, &byte, 1)) return false;
        if (byte == '\0') break;
    }
    *outString = reinterpret_cast<const char*>(source);
    return true;
}

char* CRWDupString(const char* text) {
    if (text == nullptr) return nullptr;
    const size_t length = strlen(text);
    auto* copy = static_cast<char*>(
        CRWAllocatorSafeAllocate(_crwContext.allocator, length + 1, CRWAllocationTypeReadOnly));
    if (copy == nullptr) return nullptr;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}
