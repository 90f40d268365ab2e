#include "platform/dyld/ElfSymbolTable.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace plat::dyld {

namespace {

constexpr uint64_t kMaxSections = 1u << 16;
// Build-ids are 16 or 20 bytes in practice.
constexpr uint32_t kMaxBuildIDBytes = 64;
constexpr uint64_t kMaxNoteBytes = 4096;

bool isHostElf64(const Elf64_Ehdr& header) {
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return false;
    if (header.e_ident[EI_CLASS] != ELFCLASS64) return false;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return header.e_ident[EI_DATA] == ELFDATA2LSB;
#else
    return header.e_ident[EI_DATA] == ELFDATA2MSB;
#endif
}

// Whether [offset, offset + size) lies inside a file of `fileSize` bytes.
bool within(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

// The GNU build-id of the first note section that carries one, as lower-case hex.
std::string findBuildID(const ElfSymbolTable::ReadAt& read, uint64_t fileSize,
                        const std::vector<Elf64_Shdr>& sections) {
    static const char kDigits[] = "0123456789abcdef";
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_NOTE || section.sh_size == 0 || section.sh_size > kMaxNoteBytes) continue;
        if (!within(section.sh_offset, section.sh_size, fileSize)) continue;
        std::vector<uint8_t> notes(section.sh_size);
        if (!read(section.sh_offset, notes.data(), notes.size())) continue;
        size_t at = 0;
        while (notes.size() - at >= sizeof(Elf64_Nhdr)) {
            Elf64_Nhdr note;
            std::memcpy(&note, notes.data() + at, sizeof note);
            at += sizeof note;
            const uint64_t nameSize = (uint64_t{note.n_namesz} + 3) & ~uint64_t{3};
            const uint64_t descSize = (uint64_t{note.n_descsz} + 3) & ~uint64_t{3};
            if (nameSize > notes.size() - at || descSize > notes.size() - at - nameSize) break;
            const bool gnu = note.n_namesz == 4 && std::memcmp(notes.data() + at, "GNU", 4) == 0;
            if (gnu && note.n_type == NT_GNU_BUILD_ID && note.n_descsz > 0 &&
                note.n_descsz <= kMaxBuildIDBytes) {
                std::string hex;
                for (uint32_t i = 0; i < note.n_descsz; ++i) {
                    const uint8_t byte = notes[at + nameSize + i];
                    hex += kDigits[byte >> 4];
                    hex += kDigits[byte & 15];
                }
                return hex;
            }
            at += nameSize + descSize;
        }
    }
    return "";
}

bool readWholeRange(int descriptor, uint64_t offset, void* out, size_t size) {
    char* cursor = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t count = pread(descriptor, cursor, size, static_cast<off_t>(offset));
        if (count <= 0) return false;
        cursor += count;
        offset += static_cast<uint64_t>(count);
        size -= static_cast<size_t>(count);
    }
    return true;
}

std::optional<ElfSymbolTable> parseFile(const std::string& path, std::string* buildID) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    struct stat status {};
    std::optional<ElfSymbolTable> table;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        table = ElfSymbolTable::parse(
            [descriptor](uint64_t offset, void* out, size_t size) {
                return readWholeRange(descriptor, offset, out, size);
            },
            static_cast<uint64_t>(status.st_size), buildID);
    }
    ::close(descriptor);
    return table;
}

} // namespace

std::string ElfSymbolTable::debugFilePath(const std::string& buildID) {
    if (buildID.size() < 3) return "";
    return "/usr/lib/debug/.build-id/" + buildID.substr(0, 2) + "/" + buildID.substr(2) + ".debug";
}

std::optional<ElfSymbolTable> ElfSymbolTable::parse(const ReadAt& read, uint64_t fileSize,
                                                    std::string* buildID) {
    if (buildID) buildID->clear();
    Elf64_Ehdr header{};
    if (!within(0, sizeof header, fileSize) || !read(0, &header, sizeof header)) return std::nullopt;
    if (!isHostElf64(header) || header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shoff == 0)
        return std::nullopt;

    // More sections than the header's 16 bits can count keep the count in the first section's size.
    uint64_t sectionCount = header.e_shnum;
    Elf64_Shdr first{};
    if (!within(header.e_shoff, sizeof first, fileSize) || !read(header.e_shoff, &first, sizeof first))
        return std::nullopt;
    if (sectionCount == 0) sectionCount = first.sh_size;
    if (sectionCount == 0 || sectionCount > kMaxSections) return std::nullopt;
    if (!within(header.e_shoff, sectionCount * sizeof(Elf64_Shdr), fileSize)) return std::nullopt;
    std::vector<Elf64_Shdr> sections(sectionCount);
    if (!read(header.e_shoff, sections.data(), sectionCount * sizeof(Elf64_Shdr))) return std::nullopt;
    if (buildID) *buildID = findBuildID(read, fileSize, sections);

    const auto symtab = std::find_if(sections.begin(), sections.end(),
                                     [](const Elf64_Shdr& s) { return s.sh_type == SHT_SYMTAB; });
    if (symtab == sections.end() || symtab->sh_entsize != sizeof(Elf64_Sym)) return std::nullopt;
    if (symtab->sh_link == 0 || symtab->sh_link >= sectionCount) return std::nullopt;
    const Elf64_Shdr& strtab = sections[symtab->sh_link];
    if (strtab.sh_type != SHT_STRTAB || strtab.sh_size == 0) return std::nullopt;
    if (symtab->sh_size > kMaxTableBytes || strtab.sh_size > kMaxTableBytes - symtab->sh_size)
        return std::nullopt;
    if (!within(symtab->sh_offset, symtab->sh_size, fileSize) ||
        !within(strtab.sh_offset, strtab.sh_size, fileSize))
        return std::nullopt;

    auto names = std::make_shared<std::string>(strtab.sh_size, '\0');
    if (!read(strtab.sh_offset, names->data(), names->size())) return std::nullopt;
    const size_t symbolCount = symtab->sh_size / sizeof(Elf64_Sym);
    std::vector<Elf64_Sym> symbols(symbolCount);
    if (symbolCount > 0 && !read(symtab->sh_offset, symbols.data(), symbolCount * sizeof(Elf64_Sym)))
        return std::nullopt;

    ElfSymbolTable table;
    for (const Elf64_Sym& symbol : symbols) {
        const unsigned type = ELF64_ST_TYPE(symbol.st_info);
        if (type != STT_FUNC && type != STT_GNU_IFUNC) continue;
        if (symbol.st_shndx == SHN_UNDEF || symbol.st_value == 0) continue;
        // A name must begin inside the string table and end there with a zero byte.
        if (symbol.st_name == 0 || symbol.st_name >= names->size()) continue;
        if (names->find('\0', symbol.st_name) == std::string::npos) continue;
        table.entries_.push_back(Entry{symbol.st_value, symbol.st_size, symbol.st_name});
    }
    // Equal addresses keep the sized entry last, so a lookup meets it first.
    std::sort(table.entries_.begin(), table.entries_.end(), [](const Entry& a, const Entry& b) {
        return a.address != b.address ? a.address < b.address : a.size < b.size;
    });
    table.names_ = std::move(names);
    return table;
}

std::optional<ElfSymbolTable> ElfSymbolTable::load(const std::string& path) {
    std::string buildID;
    std::optional<ElfSymbolTable> table = parseFile(path, &buildID);
    if (table || buildID.empty()) return table;
    // A stripped image: its table went into the debug file that carries the same build-id.
    std::string debugBuildID;
    table = parseFile(debugFilePath(buildID), &debugBuildID);
    if (debugBuildID != buildID) return std::nullopt;
    return table;
}

std::optional<ElfSymbolTable::Symbol> ElfSymbolTable::symbolForAddress(uint64_t address) const {
    auto next = std::upper_bound(entries_.begin(), entries_.end(), address,
                                 [](uint64_t a, const Entry& e) { return a < e.address; });
    if (next == entries_.begin()) return std::nullopt;
    const Entry& nearest = *std::prev(next);
    if (nearest.address == address) return symbol(nearest);
    // A function's end counts as its own: a call that never returns (abort, a throw) can be its last
    // instruction, and the return address it leaves is then the end. When the nearest does not hold
    // the address, a sized function a little further down that does is the one it lies in (a
    // smaller function or a sizeless label can sit inside a larger one); otherwise the nearest.
    for (int steps = 0; next != entries_.begin() && steps < 64; ++steps) {
        const Entry& entry = *--next;
        if (entry.size != 0 && address - entry.address <= entry.size) return symbol(entry);
    }
    return symbol(nearest);
}

ElfSymbolTable::Symbol ElfSymbolTable::symbol(const Entry& entry) const {
    return Symbol{entry.address, entry.size, std::string_view(names_->c_str() + entry.nameOffset)};
}

} // namespace plat::dyld
