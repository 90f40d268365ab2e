// Image files on disk are read for their full symbol table when a report is symbolicated: any bytes
// must give a table or none, and lookups in a table must stay inside it.
#include "fuzz/FuzzSupport.h"
#include "platform/dyld/ElfSymbolTable.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string buildID;
    const auto table = plat::dyld::ElfSymbolTable::parse(
        [data, size](uint64_t offset, void* out, size_t length) {
            if (offset > size || length > size - offset) return false;
            if (length == 0) return true;
            std::memcpy(out, data + offset, length);
            return true;
        },
        size, &buildID);
    fuzz::check(buildID.size() % 2 == 0, "a build-id is whole bytes of hex");
    if (!table) return 0;
    for (uint64_t address : {uint64_t{0}, uint64_t{1}, uint64_t{0x1000}, uint64_t{size}, ~uint64_t{0}}) {
        const auto symbol = table->symbolForAddress(address);
        fuzz::check(!symbol || symbol->address <= address, "a symbol found starts at or below the address");
    }
    return 0;
}
