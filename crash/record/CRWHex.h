// Runs at crash time. Lower-case hexadecimal text of bytes, two digits per byte, most significant
// digit first, written into caller buffers without allocating.
#pragma once

#include <cstddef>
#include <cstdint>

// The two digits of `byte` into `output[0]` and `output[1]` (no terminating zero).
void CRWHexFromByte(uint8_t byte, char* output);
// Zeroes `buffer` (2 * `length` + 1 bytes), then writes two digits per byte, so the text is
// always terminated.
void CRWSafeHexToString(const void* bytes, size_t length, char* buffer);
