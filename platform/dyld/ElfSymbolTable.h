// The function symbols of an ELF file's full symbol table (".symtab"), the one the dynamic linker
// never loads: local and hidden functions included, which the linker's own lookup (dladdr, over the
// dynamic symbols only) cannot name. A stripped image's table is looked for in its separate debug
// file, found by build-id under /usr/lib/debug/.build-id/. Image files on disk are not trusted: every
// offset, size and name is checked against the file before it is used, and the table's size is
// capped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::dyld {

class ElfSymbolTable {
public:
    // Reads `size` bytes at `offset` into `out`; false when the file does not hold them.
    using ReadAt = std::function<bool(uint64_t offset, void* out, size_t size)>;

    // Symbol and name bytes read at most; a larger table is refused.
    static constexpr uint64_t kMaxTableBytes = 256ull << 20;

    // The table of a 64-bit ELF file of this machine's byte order, `fileSize` bytes long; none
    // when it is something else, has no full symbol table or is damaged anywhere that matters.
    // `buildID`, when given, receives the file's GNU build-id as lower-case hex ("" without one),
    // also when there is no table.
    static std::optional<ElfSymbolTable> parse(const ReadAt& read, uint64_t fileSize,
                                               std::string* buildID = nullptr);
    // The same for the file at `path`, read piecewise (only the headers, notes and the two
    // tables); for a file without a table, the table of its separate debug file.
    static std::optional<ElfSymbolTable> load(const std::string& path);
    // Where the separate debug file of an image with this build-id lives.
    static std::string debugFilePath(const std::string& buildID);

    struct Symbol {
        uint64_t address; // the symbol's virtual address in the file (add the load bias)
        uint64_t size;    // 0 when the file gives none
        std::string_view name;
    };
    // The function of `address` (a file virtual address): the nearest one at or below it, or a
    // larger one below that holds it. An address just past a function's last byte belongs to that
    // function (offset = its size). None when no function starts at or below the address.
    std::optional<Symbol> symbolForAddress(uint64_t address) const;
    size_t count() const { return entries_.size(); }

private:
    struct Entry {
        uint64_t address;
        uint64_t size;
        uint32_t nameOffset;
    };
    Symbol symbol(const Entry& entry) const;

    std::vector<Entry> entries_; // by address
    std::shared_ptr<const std::string> names_;
};

} // namespace plat::dyld
