// Bounded readers for the byte streams of unwind tables (eh_frame, eh_frame_hdr, DWARF
// expressions): fixed-width little-endian values, LEB128, strings, record lengths and pointer
// encodings. Every read checks the cursor's end first and fails instead of reading past it.
// Runs at crash time: no allocation, no locks, no exceptions.
#pragma once

#include "crash/unwind/CRWMemoryReader.h"

#include <cstdint>
#include <cstring>

// The all-ones address: what a failed pointer read yields and every caller treats as invalid.
inline constexpr uint64_t CRWInvalidAddress = ~uint64_t{0};

// A read position and the first address past the readable bytes, both in this address space.
struct CRWByteCursor {
    uint64_t position;
    uint64_t end;
};

// True when length bytes remain at the cursor.
inline bool CRWCursorHas(const CRWByteCursor* cursor, uint64_t length) {
    if (cursor == nullptr || cursor->position == 0 || cursor->position > cursor->end) return false;
    return cursor->end - cursor->position >= length;
}

// Moves the cursor forward by length bytes; false (cursor unchanged) when fewer remain.
inline bool CRWCursorSkip(CRWByteCursor* cursor, uint64_t length) {
    if (!CRWCursorHas(cursor, length)) return false;
    cursor->position += length;
    return true;
}

// A fixed-width little-endian value; false (cursor unchanged) when the bytes are not there.
template <typename T> inline bool CRWParseFixedAndAdvance(CRWByteCursor* cursor, T* value) {
    if (value == nullptr || !CRWCursorHas(cursor, sizeof(T))) return false;
    std::memcpy(value, reinterpret_cast<const void*>(static_cast<uintptr_t>(cursor->position)), sizeof(T));
    cursor->position += sizeof(T);
    return true;
}

inline bool CRWParseU8AndAdvance(CRWByteCursor* cursor, uint8_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}
inline bool CRWParseU16AndAdvance(CRWByteCursor* cursor, uint16_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}
inline bool CRWParseI16AndAdvance(CRWByteCursor* cursor, int16_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}
inline bool CRWParseU32AndAdvance(CRWByteCursor* cursor, uint32_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}
inline bool CRWParseI32AndAdvance(CRWByteCursor* cursor, int32_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}
inline bool CRWParseU64AndAdvance(CRWByteCursor* cursor, uint64_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}
inline bool CRWParseI64AndAdvance(CRWByteCursor* cursor, int64_t* value) {
    return CRWParseFixedAndAdvance(cursor, value);
}

// LEB128 into 64 bits. At most ten bytes are read (enough for any 64-bit value); a tenth byte
// that still has its continuation bit set, or running out of bytes, fails. The signed form
// sign-extends from bit 6 of its last byte when fewer than 64 bits were filled.
bool CRWParseULEB128SlowAndAdvance(CRWByteCursor* cursor, uint64_t* value);
bool CRWParseLEB128AndAdvance(CRWByteCursor* cursor, int64_t* value);

// Most operands fit in one byte; those are read here without a call.
inline bool CRWParseULEB128AndAdvance(CRWByteCursor* cursor, uint64_t* value) {
    if (value != nullptr && CRWCursorHas(cursor, 1)) {
        const uint8_t byte = *reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(cursor->position));
        if (byte < 0x80) {
            *value = byte;
            cursor->position += 1;
            return true;
        }
    }
    return CRWParseULEB128SlowAndAdvance(cursor, value);
}

// The NUL-terminated string at the cursor (in place); the cursor moves past the NUL. Fails when
// no NUL lies before the end.
bool CRWParseStringAndAdvance(CRWByteCursor* cursor, const char** string);

// A record length: 32 bits, or 0xFFFFFFFF followed by a 64-bit length.
bool CRWParseRecordLengthAndAdvance(CRWByteCursor* cursor, uint64_t* length);

// What some pointer encodings need beyond the bytes: the base of data-relative values (0 when the
// table has none) and the reader for indirect values.
struct CRWPointerEncodingBases {
    uint64_t dataBase;
    const CRWMemoryReader* reader;
};

// Reads a pointer in an eh_frame encoding. 0xFF (omit) gives 0 without reading; a null cursor, a
// short read, an unsupported format or application, or a failed or zero indirect value give
// CRWInvalidAddress. Application 0x10 adds the address the value began at; 0x30 adds the data
// base when one is given.
uint64_t CRWParseAddressWithEncodingAndAdvance(CRWByteCursor* cursor, uint8_t encoding,
                                               const CRWPointerEncodingBases* bases);
