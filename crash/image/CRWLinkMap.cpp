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

// Walks one namespace's list; false when a link could not be read. `stopped` tells that the
// visitor ended the walk.
bool walkList(uint64_t node, CRWLinkMapVisitor visit, void* state, bool* stopped) {
    for (int count = 0; node != 0; ++count) {
        if (count == kMaxObjects) return false;
        link_map map;
        if (!CRWReadMemory(node, &map, sizeof map)) return false;
        const uint64_t bias = map.l_addr;
        unsigned char magic[SELFMAG];
        if (CRWReadMemory(bias, magic, sizeof magic) && std::memcmp(magic, ELFMAG, SELFMAG) == 0) {
            const CRWLinkMapObject object{bias, bias, reinterpret_cast<uintptr_t>(map.l_name)};
            if (!visit(&object, state)) {
                *stopped = true;
                return true;
            }
        }
        node = reinterpret_cast<uintptr_t>(map.l_next);
    }
    return true;
}

} // namespace

void CRWLinkMapSetRendezvous(const void* rendezvous) {
    rendezvousRecord.store(rendezvous, std::memory_order_release);
}

bool CRWLinkMapForEach(CRWLinkMapVisitor visit, void* state) {
    uint64_t record = reinterpret_cast<uintptr_t>(rendezvousRecord.load(std::memory_order_acquire));
    if (record == 0 || visit == nullptr) return false;
    // From version 2 on, each namespace's record links to the next one's.
    for (int space = 0; record != 0; ++space) {
        if (space == kMaxNamespaces) return false;
        r_debug_extended debug{};
        if (!CRWReadMemory(record, &debug.base, sizeof debug.base)) return false;
        if (debug.base.r_version >= 2 &&
            !CRWReadMemory(record + offsetof(r_debug_extended, r_next), &debug.r_next, sizeof debug.r_next))
            return false;
        bool stopped = false;
        if (!walkList(reinterpret_cast<uintptr_t>(debug.base.r_map), visit, state, &stopped)) return false;
        if (stopped) return true;
        record = debug.base.r_version >= 2 ? reinterpret_cast<uintptr_t>(debug.r_next) : 0;
    }
    return true;
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
