// The fixed table of loaded images that crash-time code searches: 1024 slots, each naming an
// image's address range and its unwind tables. One writer at a time (the image callbacks, in turn)
// claims and clears slots; crash-time readers scan it without locks. A slot's base is claimed first
// by compare-and-swap and its other fields are written afterwards, so a reader may see a base with
// size 0, which matches no address. Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include "crash/record/CRWBinaryImageSlot.h"

#include <cstdint>

// Claims the first free slot for the image and fills it, or refills the slot already claimed for
// its base (an image that the crash path recorded before its callback came); false when all slots
// are in use or the base is 0.
bool CRWBinaryImageTableStore(CRWBinaryImageTable* table, const CRWBinaryImageSlot* slot);
// Whether the table holds the image as `slot` describes it: a slot with its base whose range and
// unwind table are the same, or whose size is still 0 (being filled). Its index goes to `index`.
bool CRWBinaryImageTableHolds(const CRWBinaryImageTable* table, const CRWBinaryImageSlot* slot,
                              uint32_t* index);
// Clears the slot whose base is baseAddress; false when none is.
bool CRWBinaryImageTableRemove(CRWBinaryImageTable* table, uint64_t baseAddress);
// A copy of the first slot with base <= address < base + size; false for address 0 or no match.
bool CRWBinaryImageTableFind(const CRWBinaryImageTable* table, uint64_t address, CRWBinaryImageSlot* slot);
// Slots whose base is set.
uint32_t CRWBinaryImageTableCount(const CRWBinaryImageTable* table);
