#include "platform/dyld/LibrarySearch.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace plat::dyld {

namespace {

// The folders the linker searches for a library that `map` asks for, in its order: the run
// paths, $LD_LIBRARY_PATH and the system folders (the linker's cache aside).
std::vector<std::string> searchFolders(link_map* map) {
    Dl_serinfo size{};
    if (dlinfo(map, RTLD_DI_SERINFOSIZE, &size) != 0 || size.dls_size < sizeof(Dl_serinfo)) return {};
    std::vector<Dl_serinfo> storage(size.dls_size / sizeof(Dl_serinfo) + 1);
    Dl_serinfo* info = storage.data();
    info->dls_size = size.dls_size;
    info->dls_cnt = size.dls_cnt;
    if (dlinfo(map, RTLD_DI_SERINFO, info) != 0) return {};
    std::vector<std::string> folders;
    for (unsigned i = 0; i < info->dls_cnt; ++i)
        folders.emplace_back(info->dls_serpath[i].dls_name ? info->dls_serpath[i].dls_name : "");
    return folders;
}

} // namespace

std::string pathAsSearchedBy(const char* file, const void* caller) {
    if (file == nullptr || *file == '\0' || std::strchr(file, '/') != nullptr || caller == nullptr) return {};
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(caller, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || map == nullptr)
        return {};
    Lmid_t space = LM_ID_BASE;
    if (map->l_prev == nullptr || dlinfo(map, RTLD_DI_LMID, &space) != 0 || space != LM_ID_BASE) return {};
    link_map* program = map;
    while (program->l_prev != nullptr)
        program = program->l_prev;
    const std::vector<std::string> own = searchFolders(map);
    const std::vector<std::string> programs = searchFolders(program);
    auto ownOnly = [&](const std::string& folder) {
        return std::find(programs.begin(), programs.end(), folder) == programs.end();
    };
    // Up to the last folder that is the library's alone, its order decides; after it both
    // searches go the same way, and the program's, run by the linker, also asks its cache.
    const auto last = std::find_if(own.rbegin(), own.rend(), ownOnly);
    if (last == own.rend()) return {};
    for (auto folder = own.begin(); folder != last.base(); ++folder) {
        const std::string candidate = (folder->empty() ? std::string(".") : *folder) + "/" + file;
        if (access(candidate.c_str(), F_OK) == 0) return candidate;
    }
    return {};
}

} // namespace plat::dyld
