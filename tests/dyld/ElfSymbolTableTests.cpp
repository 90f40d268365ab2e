// Lookups in a full symbol table, over a small ELF file laid out the way linkers place functions:
// an address names the nearest function at or below it, including the return address a call that
// never returns leaves just past its function's last byte.
#include "platform/dyld/ElfSymbolTable.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Function {
    const char* name;
    uint64_t address;
    uint64_t size;
};

// An ELF file holding only a symbol table of `functions` (and one data object) and its names.
std::vector<uint8_t> elfWith(const std::vector<Function>& functions) {
    std::string names(1, '\0');
    std::vector<Elf64_Sym> symbols(1);
    auto add = [&](const char* name, uint64_t address, uint64_t size, unsigned char type) {
        Elf64_Sym symbol{};
        symbol.st_name = static_cast<uint32_t>(names.size());
        symbol.st_info = ELF64_ST_INFO(STB_LOCAL, type);
        symbol.st_shndx = 1;
        symbol.st_value = address;
        symbol.st_size = size;
        symbols.push_back(symbol);
        names += name;
        names += '\0';
    };
    for (const Function& function : functions)
        add(function.name, function.address, function.size, STT_FUNC);
    // Data is never a function, however close it lies.
    add("aTable", 0x1290, 0x100, STT_OBJECT);

    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 3;
    const uint64_t symbolsAt = sizeof header;
    const uint64_t namesAt = symbolsAt + symbols.size() * sizeof(Elf64_Sym);
    header.e_shoff = (namesAt + names.size() + 7) & ~uint64_t{7};

    Elf64_Shdr sections[3]{};
    sections[1].sh_type = SHT_SYMTAB;
    sections[1].sh_offset = symbolsAt;
    sections[1].sh_size = symbols.size() * sizeof(Elf64_Sym);
    sections[1].sh_entsize = sizeof(Elf64_Sym);
    sections[1].sh_link = 2;
    sections[2].sh_type = SHT_STRTAB;
    sections[2].sh_offset = namesAt;
    sections[2].sh_size = names.size();

    std::vector<uint8_t> file(header.e_shoff + sizeof sections);
    std::memcpy(file.data(), &header, sizeof header);
    std::memcpy(file.data() + symbolsAt, symbols.data(), sections[1].sh_size);
    std::memcpy(file.data() + namesAt, names.data(), names.size());
    std::memcpy(file.data() + header.e_shoff, sections, sizeof sections);
    return file;
}

std::optional<plat::dyld::ElfSymbolTable> parse(const std::vector<uint8_t>& file) {
    return plat::dyld::ElfSymbolTable::parse(
        [&file](uint64_t offset, void* out, size_t size) {
            if (offset > file.size() || size > file.size() - offset) return false;
            std::memcpy(out, file.data() + offset, size);
            return true;
        },
        file.size());
}

// "name+offset" of the function `address` lies in, or "none".
std::string at(const plat::dyld::ElfSymbolTable& table, uint64_t address) {
    const auto symbol = table.symbolForAddress(address);
    if (!symbol) return "none";
    return std::string(symbol->name) + "+" + std::to_string(address - symbol->address);
}

TEST(ElfSymbolTable, AnAddressNamesTheNearestFunctionAtOrBelowIt) {
    // A start-up helper without a size far below, a function that ends in a call that never
    // returns, its neighbour after a gap of padding, and a large function with a smaller one
    // nested inside it.
    const auto table = parse(elfWith({{"frameDummy", 0x1000, 0},
                                      {"endsInAbort", 0x1280, 0xe},
                                      {"neighbour", 0x1290, 0x20},
                                      {"outer", 0x2000, 0x100},
                                      {"inner", 0x2040, 0x10},
                                      {"inner.alias", 0x2040, 0},
                                      {"beforeSizeless", 0x2f00, 0x100},
                                      {"sizeless", 0x3000, 0}}));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->count(), 8u);

    EXPECT_EQ(at(*table, 0xfff), "none");
    EXPECT_EQ(at(*table, 0x1000), "frameDummy+0");
    EXPECT_EQ(at(*table, 0x1100), "frameDummy+256");
    EXPECT_EQ(at(*table, 0x1280), "endsInAbort+0");
    EXPECT_EQ(at(*table, 0x1287), "endsInAbort+7");
    // The return address of the closing call is the function's end: the function, offset its size,
    // not the sizeless symbol 640 bytes below.
    EXPECT_EQ(at(*table, 0x128e), "endsInAbort+14");
    // Padding after it still belongs to the nearest function below.
    EXPECT_EQ(at(*table, 0x128f), "endsInAbort+15");
    EXPECT_EQ(at(*table, 0x1290), "neighbour+0");
    EXPECT_EQ(at(*table, 0x12b0), "neighbour+32");
    EXPECT_EQ(at(*table, 0x1800), "neighbour+1392");

    // Inside the nested function (the sized name wins over its sizeless alias), at its end, and
    // past it, where the function around it holds the address.
    EXPECT_EQ(at(*table, 0x2048), "inner+8");
    EXPECT_EQ(at(*table, 0x2050), "inner+16");
    EXPECT_EQ(at(*table, 0x2051), "outer+81");
    EXPECT_EQ(at(*table, 0x2100), "outer+256");
    // A function that starts at the address is the answer, even without a size.
    EXPECT_EQ(at(*table, 0x3000), "sizeless+0");
    EXPECT_EQ(at(*table, 0x3004), "sizeless+4");
}

} // namespace
