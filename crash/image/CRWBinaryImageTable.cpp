// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/image/CRWBinaryImageTable.h"

#include <atomic>

namespace {

uint64_t loadBase(const CRWBinaryImageSlot* slot) {
    return std::atomic_ref<const uint64_t>(slot->baseAddress).load(std::memory_order_acquire);
}

uint64_t limit(const CRWBinaryImageTable* table) {
    const uint64_t used = std::atomic_ref<const uint64_t>(table->slotsInUse).load(std::memory_order_acquire);
    return used < CRWBinaryImageSlotCount ? used : CRWBinaryImageSlotCount;
}

uint64_t loadSize(const CRWBinaryImageSlot* slot) {
    return std::atomic_ref<const uint64_t>(slot->size).load(std::memory_order_acquire);
}

// Fills a claimed slot; the size goes last: until it is set the slot matches no address.
void fill(CRWBinaryImageSlot& claimed, const CRWBinaryImageSlot* slot) {
    std::atomic_ref<uint64_t>(claimed.size).store(0, std::memory_order_release);
    claimed.ehFrameHdr = slot->ehFrameHdr;
    claimed.ehFrameHdrSize = slot->ehFrameHdrSize;
    claimed.unwindSegmentStart = slot->unwindSegmentStart;
    claimed.unwindSegmentEnd = slot->unwindSegmentEnd;
    claimed.unwindInfo = slot->unwindInfo;
    claimed.unwindInfoSize = slot->unwindInfoSize;
    claimed.crashInfo = slot->crashInfo;
    std::atomic_ref<uint64_t>(claimed.size).store(slot->size, std::memory_order_release);
}

} // namespace

bool CRWBinaryImageTableStore(CRWBinaryImageTable* table, const CRWBinaryImageSlot* slot) {
    if (table == nullptr || slot == nullptr || slot->baseAddress == 0) return false;
    for (uint64_t index = 0, end = limit(table); index < end; ++index) {
        if (loadBase(&table->slots[index]) != slot->baseAddress) continue;
        fill(table->slots[index], slot);
        return true;
    }
    for (uint64_t index = 0; index < CRWBinaryImageSlotCount; ++index) {
        CRWBinaryImageSlot& candidate = table->slots[index];
        uint64_t expected = 0;
        if (!std::atomic_ref<uint64_t>(candidate.baseAddress)
                 .compare_exchange_strong(expected, slot->baseAddress, std::memory_order_acq_rel))
            continue;
        std::atomic_ref<uint64_t> used(table->slotsInUse);
        for (uint64_t seen = used.load(); seen < index + 1 && !used.compare_exchange_weak(seen, index + 1);) {
        }
        fill(candidate, slot);
        return true;
    }
    return false;
}

bool CRWBinaryImageTableHolds(const CRWBinaryImageTable* table, const CRWBinaryImageSlot* slot,
                              uint32_t* index) {
    if (table == nullptr || slot == nullptr || slot->baseAddress == 0) return false;
    for (uint64_t at = 0, end = limit(table); at < end; ++at) {
        const CRWBinaryImageSlot& candidate = table->slots[at];
        if (loadBase(&candidate) != slot->baseAddress) continue;
        const uint64_t size = loadSize(&candidate);
        if (size != 0 && (size != slot->size || candidate.ehFrameHdr != slot->ehFrameHdr)) return false;
        if (index != nullptr) *index = static_cast<uint32_t>(at);
        return true;
    }
    return false;
}

bool CRWBinaryImageTableRemove(CRWBinaryImageTable* table, uint64_t baseAddress) {
    if (table == nullptr || baseAddress == 0) return false;
    for (uint64_t index = 0, end = limit(table); index < end; ++index) {
        CRWBinaryImageSlot& candidate = table->slots[index];
        if (loadBase(&candidate) != baseAddress) continue;
        std::atomic_ref<uint64_t>(candidate.size).store(0, std::memory_order_release);
        candidate.ehFrameHdr = candidate.ehFrameHdrSize = 0;
        candidate.unwindSegmentStart = candidate.unwindSegmentEnd = 0;
        candidate.unwindInfo = candidate.unwindInfoSize = candidate.crashInfo = 0;
        uint64_t expected = baseAddress;
        return std::atomic_ref<uint64_t>(candidate.baseAddress)
            .compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    }
    return false;
}

bool CRWBinaryImageTableFind(const CRWBinaryImageTable* table, uint64_t address, CRWBinaryImageSlot* slot) {
    if (table == nullptr || slot == nullptr || address == 0) return false;
    for (uint64_t index = 0, end = limit(table); index < end; ++index) {
        const CRWBinaryImageSlot& candidate = table->slots[index];
        const uint64_t base = loadBase(&candidate);
        if (base == 0 || address < base) continue;
        const uint64_t size = loadSize(&candidate);
        if (address - base >= size) continue;
        *slot = candidate;
        slot->baseAddress = base;
        slot->size = size;
        return true;
    }
    return false;
}

uint32_t CRWBinaryImageTableCount(const CRWBinaryImageTable* table) {
    uint32_t count = 0;
    for (uint64_t index = 0, end = limit(table); index < end; ++index)
        count += loadBase(&table->slots[index]) != 0;
    return count;
}
