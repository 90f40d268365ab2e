// Runs at crash time. The dynamic linker's own list of loaded objects, read as a debugger reads
// it: from the linker's rendezvous record through each object's public link fields, every read
// through the kernel (CRWReadMemory), so that a list another thread was changing when it stopped
// gives a short or failed walk, never a fault. No allocation, no locks.
#pragma once

#include <cstddef>
#include <cstdint>

// One loaded object as the list names it.
struct CRWLinkMapObject {
    uint64_t header; // its mapped ELF header, at the load bias
    uint64_t slide;  // the load bias
    uint64_t name;   // the address of its path in the linker's memory ("" for the program)
};

// Remembers the linker's rendezvous record (plat::dyld::debugRendezvous()). Start-up calls it;
// until then walks fail.
void CRWLinkMapSetRendezvous(const void* rendezvous);

// Calls `visit` for each object of each namespace whose ELF header is mapped at its load bias, in
// the linker's order, until `visit` returns false. An object whose header lies elsewhere (a
// program linked at a fixed address) is passed over; the start-up scan, which reads program
// headers, found it. False when no rendezvous is set or a list could not be read to its end.
using CRWLinkMapVisitor = bool (*)(const CRWLinkMapObject* object, void* state);
bool CRWLinkMapForEach(CRWLinkMapVisitor visit, void* state);

// Copies the object's path into `out` (`size` bytes, cut short to fit, always terminated); false
// when it cannot be read.
bool CRWLinkMapCopyName(const CRWLinkMapObject* object, char* out, size_t size);
