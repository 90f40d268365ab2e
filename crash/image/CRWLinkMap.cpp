// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/image/CRWLinkMap.h"

#include "crash/record/CRWMemory.h"

#include <atomic>
#include <cstring>

#include <elf.h>
#include <link.h>

namespace {

std::atomic<const void*> rendezvousRecord{nullptr};

// Bounds that a damaged list (a cycle, say) cannot run past.
constexpr int kMaxObjects = 8192;
constexpr int kMaxNamespaces = 64;
constexpr uint64_t kPageSize = 4096;

// How far below its dynamic section an object's header is looked for.
constexpr uint64_t kMaxHeaderSearchPages = 65536;

// Whether `header` is the mapped ELF header of the object with this load bias and dynamic section.
bool describes(uint64_t header, uint64_t bias, uint64_t dynamic, CRWElfImageDetails* details) {
    return header >= kPageSize &&
           CRWElfImageReadDetails(reinterpret_cast<const void*>(header), static_cast<intptr_t>(bias),
                                  details) &&
           (dynamic == 0 || details->dynamic == dynamic);
}

bool findHeader(const CRWBinaryImageTable* known, uint64_t bias, uint64_t dynamic,
                CRWElfImageDetails* details) {
    if (describes(bias, bias, dynamic, details)) return true;
    if (dynamic == 0) return false;
    CRWBinaryImageSlot slot;
    if (known != nullptr && CRWBinaryImageTableFind(known, dynamic, &slot) &&
        describes(slot.baseAddress, bias, dynamic, details))
        return true;
    // The header lies below the dynamic section, at the start of a page.
    uint64_t page = dynamic & ~(kPageSize - 1);
    for (uint64_t step = 0; step < kMaxHeaderSearchPages && page >= kPageSize; ++step, page -= kPageSize) {
        unsigned char magic[SELFMAG];
        if (CRWReadMemory(page, magic, sizeof magic) && std::memcmp(magic, ELFMAG, SELFMAG) == 0 &&
            describes(page, bias, dynamic, details))
            return true;
    }
    return false;
}

struct Walk {
    const CRWBinaryImageTable* known;
    CRWLinkMapVisitor visit;
    void* state;
    bool stopped;  // the visitor ended the walk
    bool complete; // every object was found
};

// Walks one namespace's list; false when a link could not be read.
bool walkList(uint64_t node, Walk* walk) {
    for (int count = 0; node != 0; ++count) {
        if (count == kMaxObjects) return false;
        link_map map;
        if (!CRWReadMemory(node, &map, sizeof map)) return false;
        CRWLinkMapObject object;
        object.slide = map.l_addr;
        object.name = reinterpret_cast<uintptr_t>(map.l_name);
        if (findHeader(walk->known, map.l_addr, reinterpret_cast<uintptr_t>(map.l_ld), &object.details)) {
            if (!walk->visit(&object, walk->state)) {
                walk->stopped = true;
                return true;
            }
        } else {
            walk->complete = false;
        }
        node = reinterpret_cast<uintptr_t>(map.l_next);
    }
    return true;
}

} // namespace

void CRWLinkMapSetRendezvous(const void* rendezvous) {
    rendezvousRecord.store(rendezvous, std::memory_order_release);
}

bool CRWLinkMapForEach(const CRWBinaryImageTable* known, CRWLinkMapVisitor visit, void* state) {
    uint64_t record = reinterpret_cast<uintptr_t>(rendezvousRecord.load(std::memory_order_acquire));
    if (record == 0 || visit == nullptr) return false;
    Walk walk{known, visit, state, false, true};
    // From version 2 on, each namespace's record links to the next one's.
    for (int space = 0; record != 0; ++space) {
        if (space == kMaxNamespaces) return false;
        r_debug_extended debug{};
        if (!CRWReadMemory(record, &debug.base, sizeof debug.base)) return false;
        if (debug.base.r_version >= 2 &&
            !CRWReadMemory(record + offsetof(r_debug_extended, r_next), &debug.r_next, sizeof debug.r_next))
            return false;
        if (!walkList(reinterpret_cast<uintptr_t>(debug.base.r_map), &walk)) return false;
        if (walk.stopped) return walk.complete;
        record = debug.base.r_version >= 2 ? reinterpret_cast<uintptr_t>(debug.r_next) : 0;
    }
    return walk.complete;
}

bool CRWLinkMapCopyName(const CRWLinkMapObject* object, char* out, size_t size) {
    if (object == nullptr || out == nullptr || size == 0) return false;
    out[0] = '\0';
    if (object->name == 0) return true;
    // Page by page: a path may end just before an unmapped page.
    for (size_t at = 0; at + 1 < size;) {
        const uint64_t source = object->name + at;
        size_t chunk = static_cast<size_t>(kPageSize - source % kPageSize);
        if (chunk > size - 1 - at) chunk = size - 1 - at;
        if (!CRWReadMemory(source, out + at, chunk)) {
            out[0] = '\0';
            return false;
        }
        if (std::memchr(out + at, '\0', chunk) != nullptr) return true;
        at += chunk;
    }
    out[size - 1] = '\0';
    return true;
}
