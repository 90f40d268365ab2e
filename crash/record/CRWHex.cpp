// Runs at crash time. Hex digits of bytes into caller buffers.
#include "crash/record/CRWHex.h"

#include <cstring>

void CRWHexFromByte(uint8_t byte, char* output) {
    constexpr const char* kDigits = "0123456789abcdef";
    output[0] = kDigits[byte >> 4];
    output[1] = kDigits[byte & 0xf];
}

void CRWSafeHexToString(const void* bytes, size_t length, char* buffer) {
    if (buffer == nullptr) return;
    memset(buffer, 0, 2 * length + 1);
    if (bytes == nullptr) return;
    const auto* input = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; ++i)
        CRWHexFromByte(input[i], buffer + 2 * i);
}
