// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWCompactUnwind.h"

#include "crash/unwind/CRWDwarfCFI.h"
#include "crash/unwind/CRWDwarfUnwind.h"
#include "crash/unwind/CRWFramePointerUnwind.h"
#include "crash/unwind/CRWUnwindLog.h"

#include <cstring>

namespace {

constexpr uint32_t kRegularPage = 2;
constexpr uint32_t kCompressedPage = 3;

// True when length bytes at offset from the section start lie inside it.
bool inSection(const CRWCompactUnwindContext* context, uint64_t offset, uint64_t length) {
    return offset <= context->unwindInfoSize && context->unwindInfoSize - offset >= length;
}

// Copies length bytes at offset from the section start, when they lie inside it.
bool readAt(const CRWCompactUnwindContext* context, uint64_t offset, void* out, uint64_t length) {
    if (!inSection(context, offset, length)) return false;
    std::memcpy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(context->unwindInfo + offset)),
                length);
    return true;
}

bool readU32(const CRWCompactUnwindContext* context, uint64_t offset, uint32_t* value) {
    return readAt(context, offset, value, sizeof *value);
}

bool readU16(const CRWCompactUnwindContext* context, uint64_t offset, uint16_t* value) {
    return readAt(context, offset, value, sizeof *value);
}

bool readIndexEntry(const CRWCompactUnwindContext* context, uint64_t index,
                    CRWCompactUnwindIndexEntry* entry) {
    return readAt(context, context->unwindHeader.indexSectionOffset + index * 12, entry, 12);
}

bool lookupFirstLevel(CRWCompactUnwindContext* context, uint64_t pc) {
    const uint32_t count = context->unwindHeader.indexCount;
    if (count < 2) {
        CRWUnwindLogWarn("Unable to find pc in first level");
        return false;
    }
    const uint64_t target = pc - context->loadAddress;
    CRWCompactUnwindIndexEntry entry{}, next{};
    if (!readIndexEntry(context, 0, &entry)) return false;
    for (uint32_t i = 0; i + 1 < count; ++i, entry = next) {
        if (!readIndexEntry(context, i + 1, &next)) break;
        if (entry.functionOffset <= target && target < next.functionOffset) {
            context->firstLevelEntry = entry;
            context->firstLevelNextFunctionOffset = next.functionOffset;
            CRWUnwindLogDebug("Found first level (second => %u)", entry.secondLevelPagesSectionOffset);
            return true;
        }
    }
    CRWUnwindLogWarn("Unable to find pc in first level");
    return false;
}

bool lookupCompressedPage(CRWCompactUnwindContext* context, uint64_t pc, CRWCompactUnwindResult* result) {
    const uint64_t page = context->firstLevelEntry.secondLevelPagesSectionOffset;
    uint16_t entryOffset = 0, entryCount = 0, encodingsOffset = 0, encodingsCount = 0;
    if (!readU16(context, page + 4, &entryOffset) || !readU16(context, page + 6, &entryCount) ||
        !readU16(context, page + 8, &encodingsOffset) || !readU16(context, page + 10, &encodingsCount))
        return false;

    const uint64_t base = context->loadAddress + context->firstLevelEntry.functionOffset;
    if (pc < base) {
        CRWUnwindLogWarn("Error: PC is invalid");
        return false;
    }
    const uint64_t target = pc - base;
    const uint64_t entries = page + entryOffset;
    if (entryCount == 0 || !inSection(context, entries, uint64_t{entryCount} * 4)) {
        CRWUnwindLogInfo("Unable to find PC in second level");
        return false;
    }
    // The greatest entry whose function offset is not above the target; the first when none is.
    uint32_t low = 0, high = entryCount;
    while (high - low > 1) {
        const uint32_t middle = low + (high - low) / 2;
        uint32_t value = 0;
        readU32(context, entries + uint64_t{middle} * 4, &value);
        if ((value & 0x00FFFFFF) <= target) {
            low = middle;
        } else {
            high = middle;
        }
    }
    uint32_t entry = 0;
    readU32(context, entries + uint64_t{low} * 4, &entry);
    result->functionStart = base + (entry & 0x00FFFFFF);
    if (low + 1u < entryCount) {
        uint32_t next = 0;
        readU32(context, entries + uint64_t{low + 1u} * 4, &next);
        result->functionEnd =
            context->loadAddress + (next & 0x00FFFFFF) + context->firstLevelEntry.functionOffset;
    } else {
        result->functionEnd = context->loadAddress + context->firstLevelNextFunctionOffset;
    }
    if (pc < result->functionStart || pc >= result->functionEnd) {
        CRWUnwindLogWarn("PC does not match computed function range");
        return false;
    }

    const uint32_t index = entry >> 24;
    const uint32_t common = context->unwindHeader.commonEncodingsArrayCount;
    bool found = false;
    if (index < common) {
        found =
            readU32(context, context->unwindHeader.commonEncodingsArraySectionOffset + uint64_t{index} * 4,
                    &result->encoding);
    } else if (index - common < encodingsCount) {
        found = readU32(context, page + encodingsOffset + uint64_t{index - common} * 4, &result->encoding);
    }
    if (!found) {
        CRWUnwindLogWarn("Error: encoding index %u out of range", index);
        return false;
    }
    if (result->encoding == 0) {
        CRWUnwindLogInfo("Entry has has no unwind info");
        return false;
    }
    return true;
}

bool lookupSecondLevel(CRWCompactUnwindContext* context, uint64_t pc, CRWCompactUnwindResult* result) {
    uint32_t kind = 0;
    if (!readU32(context, context->firstLevelEntry.secondLevelPagesSectionOffset, &kind)) return false;
    switch (kind) {
    case kCompressedPage:
        CRWUnwindLogInfo("Found a second level compressed header");
        return lookupCompressedPage(context, pc, result);
    case kRegularPage:
        CRWUnwindLogInfo("Found a second level regular header");
        CRWUnwindLogWarn("Encountered a regular second-level page");
        return false;
    default:
        CRWUnwindLogError("Unrecognized header kind - unable to continue");
        return false;
    }
}

} // namespace

bool CRWCompactUnwindInit(CRWCompactUnwindContext* context, uint64_t unwindInfo, uint64_t unwindInfoSize,
                          uint64_t ehFrame, uint64_t ehFrameSize, uint64_t loadAddress,
                          const CRWMemoryReader* reader) {
    if (context == nullptr) {
        CRWUnwindLogWarn("Error: invalid context passed to compact unwind init");
        return false;
    }
    if (unwindInfo < 4096) {
        CRWUnwindLogWarn("Error: invalid unwind info passed to compact unwind init");
        return false;
    }
    if (loadAddress < 4096) {
        CRWUnwindLogWarn("Error: invalid load address passed to compact unwind init");
        return false;
    }
    std::memset(context, 0, sizeof *context);
    context->unwindInfo = unwindInfo;
    context->unwindInfoSize = unwindInfoSize;
    if (!readAt(context, 0, &context->unwindHeader, sizeof context->unwindHeader)) {
        CRWUnwindLogWarn("Error: could not read memory contents of unwindInfo");
        return false;
    }
    if (context->unwindHeader.version != 1) {
        CRWUnwindLogWarn("Error: bad unwind_info structure version (%d != %d)",
                         (int)context->unwindHeader.version, 1);
        return false;
    }
    context->ehFrame = ehFrame;
    context->ehFrameSize = ehFrame != 0 ? ehFrameSize : 0;
    context->loadAddress = loadAddress;
    context->reader = reader;
    return true;
}

bool CRWCompactUnwindLookup(CRWCompactUnwindContext* context, uint64_t pc, CRWCompactUnwindResult* result) {
    if (context == nullptr || result == nullptr) return false;
    std::memset(result, 0, sizeof *result);
    if (!lookupFirstLevel(context, pc)) return false;
    if (!lookupSecondLevel(context, pc, result)) {
        CRWUnwindLogInfo("Second-level PC lookup failed");
        return false;
    }
    return true;
}

bool CRWCompactUnwindDwarfFrame(CRWCompactUnwindContext* context, uint64_t fdeOffset,
                                CRWRegisters* registers) {
    CRWUnwindLogInfo("Trying to read dwarf data with offset %lx", (unsigned long)fdeOffset);
    const CRWDwarfSection section{context->ehFrame, context->ehFrame + context->ehFrameSize, context->reader};
    CRWDwarfCFIRecord record;
    if (!CRWDwarfParseCFIFromFDERecordOffset(&record, &section, fdeOffset)) {
        CRWUnwindLogError("Unable to init FDE");
        return false;
    }
    if (!CRWDwarfUnwindComputeRegisters(&record, registers)) {
        CRWUnwindLogError("Failed to compute DWARF registers");
        return false;
    }
    return true;
}

bool CRWCompactUnwindComputeRegisters(CRWCompactUnwindContext* context, const CRWCompactUnwindResult* result,
                                      CRWRegisters* registers) {
    const uint32_t encoding = result->encoding;
    switch (encoding & CRWCompactUnwindModeMask) {
    case CRWCompactUnwindModeFrame:
        return CRWUnwindWithFramePointer(registers, false, context->reader);
    case CRWCompactUnwindModeFrameless: {
        if (!CRWUnwindWithLRRegister(registers)) return false;
        // The caller's SP lies past the function's fixed frame (bits 12-23, in 16-byte units).
        const uint64_t stackSize = uint64_t{(encoding >> 12) & 0xFFF} * 16;
        CRWRegistersSetSP(registers, CRWRegistersGetSP(registers) + stackSize);
        return true;
    }
    case CRWCompactUnwindModeDwarf:
        return CRWCompactUnwindDwarfFrame(context, encoding & 0x00FFFFFF, registers);
    default:
        CRWUnwindLogWarn("Invalid encoding 0x%x", encoding);
        return false;
    }
}

bool CRWCompactUnwindLookupAndCompute(CRWCompactUnwindContext* context, CRWRegisters* registers) {
    if (context == nullptr || registers == nullptr) return false;
    const uint64_t pc = CRWRegistersGetPC(registers);
    if (pc < context->loadAddress) return false;
    CRWCompactUnwindResult result;
    if (!CRWCompactUnwindLookup(context, pc, &result)) {
        CRWUnwindLogInfo("Unable to lookup compact unwind for pc %p", (void*)(uintptr_t)pc);
        return false;
    }
    if (!CRWCompactUnwindComputeRegisters(context, &result, registers)) {
        CRWUnwindLogError("Failed to compute registers");
        return false;
    }
    return true;
}
