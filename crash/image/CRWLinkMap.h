// Runs at crash time. The dynamic linker's own list of loaded objects, read as a debugger reads
// it: from the linker's rendezvous record through each object's public link fields, every read
// through the kernel (CRWReadMemory), so that a list another thread was changing when it stopped
// gives a short or failed walk, never a fault. No allocation, no locks.
#pragma once

#include "crash/image/CRWBinaryImageTable.h"
#include "crash/image/CRWElfImage.h"

#include <cstddef>
#include <cstdint>

// One loaded object as the list names it.
struct CRWLinkMapObject {
    uint64_t slide;             // the load bias
    uint64_t name;              // the address of its path in the linker's memory ("" for the program)
    CRWElfImageDetails details; // read from its mapped ELF header (details.base)
};

// Remembers the linker's rendezvous record (plat::dyld::debugRendezvous()). Start-up calls it;
// until then walks fail.
void CRWLinkMapSetRendezvous(const void* rendezvous);

// Calls `visit` for each object of each namespace, in the linker's order, until `visit` returns
// false. Each object's ELF header is found as the start-up scan finds it, where the segment that
// maps the file's start is loaded: at the load bias for most objects, above it for one linked at a
// raised address (a program linked at a fixed address has a bias of 0). The header is looked for
// at the bias, then at the image of `known` (may be null) that holds the object's dynamic section,
// then page by page below that section. False when no rendezvous is set, a list could not be read
// to its end, or an object's header was not found (that object is passed over).
using CRWLinkMapVisitor = bool (*)(const CRWLinkMapObject* object, void* state);
bool CRWLinkMapForEach(const CRWBinaryImageTable* known, CRWLinkMapVisitor visit, void* state);

// Copies the object's path into `out` (`size` bytes, cut short to fit, always terminated); false
// when it cannot be read.
bool CRWLinkMapCopyName(const CRWLinkMapObject* object, char* out, size_t size);
