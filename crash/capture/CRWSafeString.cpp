// Runs at crash time. Bounded string copies through checked reads.
#include "crash/capture/CRWSafeString.h"

#include "crash/record/CRWMemory.h"

#include <cstring>

namespace {

constexpr uintptr_t kPageSize = 4096;

} // namespace

bool CRWCopyStringSafely(uintptr_t source, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    if (source < CRWMinimumValidAddress) return false;
    size_t copied = 0;
    // Reads stop at page ends, so a string that ends just before an unmapped page is still read.
    while (copied + 1 < size) {
        const uintptr_t address = source + copied;
        size_t chunk = kPageSize - (address % kPageSize);
        if (chunk > size - 1 - copied) chunk = size - 1 - copied;
        if (!CRWReadMemory(address, buffer + copied, chunk)) {
            buffer[copied] = '\0';
            return copied > 0;
        }
        const void* end = memchr(buffer + copied, '\0', chunk);
        if (end != nullptr) return true;
        copied += chunk;
    }
    buffer[copied] = '\0';
    return true;
}
