// Runs at crash time: no allocation, no locks, no exceptions.
#include "crash/unwind/CRWDataParsing.h"

#include "crash/unwind/CRWUnwindLog.h"

#include <cstring>

namespace {

// Reads LEB128 groups; *shift tells how many bits were filled and *last is the final byte.
bool parseGroups(CRWByteCursor* cursor, uint64_t* value, unsigned* shift, uint8_t* last) {
    uint64_t result = 0;
    unsigned bits = 0;
    for (int count = 0; count < 10; ++count) {
        uint8_t byte = 0;
        if (!CRWParseU8AndAdvance(cursor, &byte)) return false;
        if (bits < 64) result |= static_cast<uint64_t>(byte & 0x7F) << bits;
        bits += 7;
        if ((byte & 0x80) == 0) {
            *value = result;
            *shift = bits;
            *last = byte;
            return true;
        }
    }
    return false;
}

} // namespace

bool CRWParseULEB128SlowAndAdvance(CRWByteCursor* cursor, uint64_t* value) {
    unsigned shift = 0;
    uint8_t last = 0;
    uint64_t result = 0;
    if (value == nullptr || !parseGroups(cursor, &result, &shift, &last)) return false;
    *value = result;
    return true;
}

bool CRWParseLEB128AndAdvance(CRWByteCursor* cursor, int64_t* value) {
    unsigned shift = 0;
    uint8_t last = 0;
    uint64_t result = 0;
    if (value == nullptr || !parseGroups(cursor, &result, &shift, &last)) return false;
    if (shift < 64 && (last & 0x40) != 0) result |= ~uint64_t{0} << shift;
    *value = static_cast<int64_t>(result);
    return true;
}

bool CRWParseStringAndAdvance(CRWByteCursor* cursor, const char** string) {
    if (string == nullptr || !CRWCursorHas(cursor, 1)) return false;
    const void* start = reinterpret_cast<const void*>(static_cast<uintptr_t>(cursor->position));
    const void* nul = std::memchr(start, 0, cursor->end - cursor->position);
    if (nul == nullptr) return false;
    *string = static_cast<const char*>(start);
    cursor->position = reinterpret_cast<uintptr_t>(nul) + 1;
    return true;
}

bool CRWParseRecordLengthAndAdvance(CRWByteCursor* cursor, uint64_t* length) {
    uint32_t short_length = 0;
    CRWByteCursor probe = cursor ? *cursor : CRWByteCursor{};
    if (length == nullptr || !CRWParseU32AndAdvance(&probe, &short_length)) return false;
    if (short_length == 0xFFFFFFFF) {
        if (!CRWParseU64AndAdvance(&probe, length)) return false;
    } else {
        *length = short_length;
    }
    *cursor = probe;
    return true;
}

uint64_t CRWParseAddressWithEncodingAndAdvance(CRWByteCursor* cursor, uint8_t encoding,
                                               const CRWPointerEncodingBases* bases) {
    if (encoding == 0xFF) return 0;
    if (cursor == nullptr) return CRWInvalidAddress;
    const uint64_t start = cursor->position;
    uint64_t value = 0;
    bool ok = false;
    switch (encoding & 0x0F) {
    case 0x00:
    case 0x04:
    case 0x0C:
        ok = CRWParseU64AndAdvance(cursor, &value);
        break;
    case 0x01:
        ok = CRWParseULEB128AndAdvance(cursor, &value);
        break;
    case 0x02: {
        uint16_t v = 0;
        ok = CRWParseU16AndAdvance(cursor, &v);
        value = v;
        break;
    }
    case 0x03: {
        uint32_t v = 0;
        ok = CRWParseU32AndAdvance(cursor, &v);
        value = v;
        break;
    }
    case 0x09: {
        int64_t v = 0;
        ok = CRWParseLEB128AndAdvance(cursor, &v);
        value = static_cast<uint64_t>(v);
        break;
    }
    case 0x0A: {
        int16_t v = 0;
        ok = CRWParseI16AndAdvance(cursor, &v);
        value = static_cast<uint64_t>(static_cast<int64_t>(v));
        break;
    }
    case 0x0B: {
        int32_t v = 0;
        ok = CRWParseI32AndAdvance(cursor, &v);
        value = static_cast<uint64_t>(static_cast<int64_t>(v));
        break;
    }
    default:
        CRWUnwindLogWarn("Unhandled: encoding 0x%02x", encoding);
        return CRWInvalidAddress;
    }
    if (!ok) return CRWInvalidAddress;

    switch (encoding & 0x70) {
    case 0x00:
        break;
    case 0x10:
        value += start;
        break;
    case 0x30:
        if (bases == nullptr || bases->dataBase == 0) {
            CRWUnwindLogWarn("Unhandled: relative encoding 0x%02x", encoding);
            return CRWInvalidAddress;
        }
        value += bases->dataBase;
        break;
    default:
        CRWUnwindLogWarn("Unhandled: relative encoding 0x%02x", encoding);
        return CRWInvalidAddress;
    }

    if (encoding & 0x80) {
        uint64_t target = 0;
        if (value == 0 || !CRWMemoryReaderReadWord(bases ? bases->reader : nullptr, value, &target))
            return CRWInvalidAddress;
        value = target;
    }
    return value;
}
