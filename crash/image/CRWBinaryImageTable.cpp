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

} // namespace

bool CRWBinaryImageTableStore(CRWBinaryImageTable* table, const CRWBinaryImageSlot* slot) {
    if (table == nullptr || slot == nullptr || slot->baseAddress == 0) return false;
    for (uint64_t index = 0; index < CRWBinaryImageSlotCount; ++index) {
        CRWBinaryImageSlot& candidate = table->slots[index];
        uint64_t expected = 0;
        if (!std::atomic_ref<uint64_t>(candidate.baseAddress)
                 .compare_exchange_strong(expected, slot->baseAddress, std::memory_order_acq_rel))
            continue;
        std::atomic_ref<uint64_t> used(table->slotsInUse);
        for (uint64_t seen = used.load(); seen < index + 1 && !used.compare_exchange_weak(seen, index + 1);) {
        }
        candidate.ehFrameHdr = slot->ehFrameHdr;
        candidate.ehFrameHdrSize = slot->ehFrameHdrSize;
        candidate.unwindSegmentStart = slot->unwindSegmentStart;
        candidate.unwindSegmentEnd = slot->unwindSegmentEnd;
        candidate.unwindInfo = slot->unwindInfo;
        candidate.unwindInfoSize = slot->unwindInfoSize;
        candidate.crashInfo = slot->crashInfo;
        // The size goes last: until it is set the slot matches no address.
        std::atomic_ref<uint64_t>(candidate.size).store(slot->size, std::memory_order_release);
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
        const uint64_t size = std::atomic_ref<const uint64_t>(candidate.size).load(std::memory_order_acquire);
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
