// Record files are read back on the launch after a crash, from a run that may have died mid-write
// or a disk that damaged them: any bytes must give sections (objects) or nothing, never a crash.
#include "crash/record/CRWFileRead.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// Hex-encoded values are decoded on the way to reports; feed every string found to the decoder.
void decodeStrings(const plat::Object& value, int depth) {
    if (depth > 64) return;
    if (value.isString()) {
        (void)CRWFileHexDecodeString(value.string());
    } else if (value.isArray()) {
        for (const plat::Object& element : value.array())
            decodeStrings(element, depth + 1);
    } else if (value.isDict()) {
        for (const auto& [key, element] : value.dict()) {
            (void)CRWFileHexDecodeString(key);
            decodeStrings(element, depth + 1);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const plat::Object::Array sections = CRWFileParseSections(bytes);
    for (const plat::Object& section : sections) {
        if (!section.isDict()) __builtin_trap();
        decodeStrings(section, 0);
    }
    (void)CRWFileHexDecodeString(bytes);
    return 0;
}
