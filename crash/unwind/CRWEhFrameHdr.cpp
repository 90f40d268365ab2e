// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWEhFrameHdr.h"

#include "crash/unwind/CRWUnwindLog.h"

#include <cstring>

namespace {

uint8_t fixedSize(uint8_t encoding) {
    switch (encoding & 0x0F) {
    case 0x02:
    case 0x0A:
        return 2;
    case 0x03:
    case 0x0B:
        return 4;
    case 0x00:
    case 0x04:
    case 0x0C:
        return 8;
    default:
        return 0;
    }
}

uint64_t entryValue(const CRWEhFrameHdr* header, uint64_t index, int which) {
    const uint64_t address = header->table + index * 2 * header->entrySize + (which ? header->entrySize : 0);
    if (header->tableEncoding == 0x3B) { // data-relative signed 32-bit, what linkers write
        int32_t value;
        std::memcpy(&value, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), sizeof value);
        return header->start + static_cast<uint64_t>(static_cast<int64_t>(value));
    }
    CRWByteCursor cursor{address, address + header->entrySize};
    const CRWPointerEncodingBases bases{header->start, nullptr};
    return CRWParseAddressWithEncodingAndAdvance(&cursor, header->tableEncoding & 0x7F, &bases);
}

} // namespace

bool CRWEhFrameHdrInit(CRWEhFrameHdr* header, uint64_t start, uint64_t end, const CRWMemoryReader* reader) {
    if (header == nullptr) return false;
    std::memset(header, 0, sizeof *header);
    CRWByteCursor cursor{start, end};
    uint8_t version = 0, frameEncoding = 0, countEncoding = 0, tableEncoding = 0;
    if (!CRWParseU8AndAdvance(&cursor, &version) || !CRWParseU8AndAdvance(&cursor, &frameEncoding) ||
        !CRWParseU8AndAdvance(&cursor, &countEncoding) || !CRWParseU8AndAdvance(&cursor, &tableEncoding))
        return false;
    if (version != 1) {
        CRWUnwindLogWarn("Error: eh_frame_hdr version %u unsupported", (unsigned)version);
        return false;
    }
    const CRWPointerEncodingBases bases{start, reader};
    header->start = start;
    header->ehFrame = CRWParseAddressWithEncodingAndAdvance(&cursor, frameEncoding, &bases);
    if (header->ehFrame == CRWInvalidAddress) return false;
    if (countEncoding == 0xFF || tableEncoding == 0xFF) return true;
    const uint64_t count = CRWParseAddressWithEncodingAndAdvance(&cursor, countEncoding, &bases);
    if (count == CRWInvalidAddress) return false;
    // Table values are read without indirection: an indirect table cannot be searched in place.
    const uint8_t size = fixedSize(tableEncoding);
    if (size == 0 || (tableEncoding & 0x80) != 0) {
        CRWUnwindLogWarn("Error: eh_frame_hdr table encoding 0x%x unsupported", (unsigned)tableEncoding);
        return false;
    }
    const uint64_t available = cursor.end - cursor.position;
    if (count > available / (2u * size)) {
        CRWUnwindLogWarn("Error: eh_frame_hdr table runs past its segment");
        return false;
    }
    header->fdeCount = count;
    header->table = cursor.position;
    header->tableEncoding = tableEncoding;
    header->entrySize = size;
    return true;
}

bool CRWEhFrameHdrFindFDE(const CRWEhFrameHdr* header, uint64_t pc, uint64_t* fdeAddress,
                          uint64_t* functionStart) {
    if (header == nullptr || header->fdeCount == 0) return false;
    uint64_t low = 0, high = header->fdeCount; // answer lies in [low, high)
    if (entryValue(header, 0, 0) > pc) return false;
    while (high - low > 1) {
        const uint64_t middle = low + (high - low) / 2;
        if (entryValue(header, middle, 0) <= pc) {
            low = middle;
        } else {
            high = middle;
        }
    }
    const uint64_t fde = entryValue(header, low, 1);
    if (fde == CRWInvalidAddress) return false;
    *fdeAddress = fde;
    if (functionStart != nullptr) *functionStart = entryValue(header, low, 0);
    return true;
}
