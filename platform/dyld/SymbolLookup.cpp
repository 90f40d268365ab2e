#include "platform/dyld/SymbolLookup.h"

#include "platform/dyld/Dyld.h"
#include "platform/dyld/ElfSymbolTable.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace plat::dyld {

namespace {

struct TableCache {
    std::mutex mutex;
    // By image path; none remembers a file without a usable table, so it is not read again.
    std::map<std::string, std::shared_ptr<const std::optional<ElfSymbolTable>>> tables;
};

TableCache& cache() {
    static TableCache* tables = new TableCache; // never destroyed: lookups may run during exit
    return *tables;
}

// Cached tables stay small: a process maps a few hundred images at most.
constexpr size_t kMaxCachedTables = 512;

std::shared_ptr<const std::optional<ElfSymbolTable>> tableFor(const std::string& path) {
    TableCache& tables = cache();
    {
        std::lock_guard lock(tables.mutex);
        auto found = tables.tables.find(path);
        if (found != tables.tables.end()) return found->second;
    }
    // Read outside the lock: a large table takes a while and other lookups need not wait.
    auto table = std::make_shared<const std::optional<ElfSymbolTable>>(ElfSymbolTable::load(path));
    std::lock_guard lock(tables.mutex);
    if (tables.tables.size() >= kMaxCachedTables) tables.tables.clear();
    return tables.tables.emplace(path, table).first->second;
}

} // namespace

std::optional<SymbolInfo> lookupSymbol(uintptr_t address) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(address), &info) == 0) return std::nullopt;
    SymbolInfo result;
    result.imageBase = reinterpret_cast<uintptr_t>(info.dli_fbase);
    if (info.dli_sname != nullptr && info.dli_saddr != nullptr) {
        result.name = info.dli_sname;
        result.symbolAddress = reinterpret_cast<uintptr_t>(info.dli_saddr);
    }
    // The image's load bias and file, from the linker's list (its path for the executable is the
    // real file, where dladdr gives the name the program was started by).
    intptr_t slide = 0;
    bool known = false;
    for (int attempt = 0; attempt < 2 && !known; ++attempt) {
        // An image loaded since the list was last scanned is found after a rescan.
        if (attempt == 1) sync();
        for (const Image& image : images()) {
            if (image.header != info.dli_fbase) continue;
            slide = image.slide;
            result.imagePath = image.path;
            known = true;
            break;
        }
    }
    if (result.imagePath.empty() && info.dli_fname != nullptr) result.imagePath = info.dli_fname;
    if (!known || result.imagePath.empty()) return result;

    const auto table = tableFor(result.imagePath);
    if (!*table) return result;
    const auto symbol =
        (*table)->symbolForAddress(static_cast<uint64_t>(address - static_cast<uintptr_t>(slide)));
    if (!symbol) return result;
    const uintptr_t start = static_cast<uintptr_t>(symbol->address) + static_cast<uintptr_t>(slide);
    if (!result.name || start > result.symbolAddress) {
        result.name = std::string(symbol->name);
        result.symbolAddress = start;
    }
    return result;
}

void resetSymbolTablesForTesting() {
    std::lock_guard lock(cache().mutex);
    cache().tables.clear();
}

} // namespace plat::dyld
