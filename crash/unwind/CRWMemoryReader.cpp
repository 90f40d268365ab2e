// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWMemoryReader.h"

#include "crash/record/CRWMemory.h"

#include <cstring>

bool CRWMemoryReaderRead(const CRWMemoryReader* reader, uint64_t address, void* destination, size_t length) {
    if (reader == nullptr || reader->read == nullptr || destination == nullptr) return false;
    if (address < 4096 || address + length < address) return false;
    if (length == 0) return true;
    return reader->read(reader->context, address, destination, length);
}

bool CRWMemoryReaderReadWord(const CRWMemoryReader* reader, uint64_t address, uint64_t* value) {
    uint64_t word = 0;
    bool ok = CRWMemoryReaderRead(reader, address, &word, sizeof word);
    *value = ok ? word : 0;
    return ok;
}

CRWMemoryReader CRWMemoryReaderSafe() {
    return CRWMemoryReader{[](void*, uint64_t address, void* destination, size_t length) {
                               return CRWReadMemory(static_cast<uintptr_t>(address), destination, length);
                           },
                           nullptr};
}
