// The nearest symbol to a code address of this process, as a crash reporter needs it on the launch
// after a crash: the dynamic linker's answer (dladdr), improved by the image file's full symbol
// table (ElfSymbolTable.h) where that names a closer function, so local and hidden functions get
// their own names instead of the nearest exported one. Thread-safe; symbol tables are read once
// per image file and kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace plat::dyld {

struct SymbolInfo {
    std::string imagePath;
    uintptr_t imageBase = 0;         // the image's mapped ELF header
    std::optional<std::string> name; // none when no symbol covers the address
    uintptr_t symbolAddress = 0;     // the symbol's start in this process; 0 without a name
};

// What the linker and the image's symbol table know about `address`; none when the address lies
// in no loaded image.
std::optional<SymbolInfo> lookupSymbol(uintptr_t address);

// Test hook: forgets the symbol tables read so far.
void resetSymbolTablesForTesting();

} // namespace plat::dyld
