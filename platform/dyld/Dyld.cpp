#include "platform/dyld/Dyld.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace plat::dyld {

namespace {

struct State {
    std::recursive_mutex mutex;
    std::vector<Image> known;
    std::vector<ImageCallback> added, removed;
    unsigned long long adds = ~0ull, subs = ~0ull;
};

State& state() {
    static State* s = new State; // never destroyed: callbacks may run during exit
    return *s;
}

std::string executablePath() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

// The current list, with the linker's counters.
std::vector<Image> scan(unsigned long long* adds, unsigned long long* subs) {
    struct Scan {
        std::vector<Image> images;
        unsigned long long adds = 0, subs = 0;
    } result;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t size, void* data) {
            auto* out = static_cast<Scan*>(data);
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
                out->adds = info->dlpi_adds;
                out->subs = info->dlpi_subs;
            }
            const void* header = nullptr;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& p = info->dlpi_phdr[i];
                if (p.p_type == PT_LOAD && p.p_offset == 0) {
                    header = reinterpret_cast<const void*>(info->dlpi_addr + p.p_vaddr);
                    break;
                }
            }
            if (header == nullptr) return 0;
            std::string path = info->dlpi_name ? info->dlpi_name : "";
            if (path.empty() && out->images.empty()) path = executablePath();
            out->images.push_back({header, static_cast<intptr_t>(info->dlpi_addr), path});
            return 0;
        },
        &result);
    *adds = result.adds;
    *subs = result.subs;
    return result.images;
}

// The linker's counters alone: the first entry carries them, so the walk stops there.
void counters(unsigned long long* adds, unsigned long long* subs) {
    unsigned long long found[2] = {~0ull, ~0ull};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t size, void* data) {
            auto* out = static_cast<unsigned long long*>(data);
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
                out[0] = info->dlpi_adds;
                out[1] = info->dlpi_subs;
            }
            return 1;
        },
        found);
    *adds = found[0];
    *subs = found[1];
}

bool sameImage(const Image& a, const Image& b) {
    return a.header == b.header && a.path == b.path;
}

void syncLocked(State& s, bool force) {
    unsigned long long adds = 0, subs = 0;
    if (!force) {
        counters(&adds, &subs);
        if (adds == s.adds && subs == s.subs && adds != ~0ull) return;
    }
    std::vector<Image> current = scan(&adds, &subs);
    s.adds = adds;
    s.subs = subs;
    std::vector<Image> gone, fresh;
    for (const Image& old : s.known)
        if (std::none_of(current.begin(), current.end(), [&](const Image& i) { return sameImage(i, old); }))
            gone.push_back(old);
    for (const Image& now : current)
        if (std::none_of(s.known.begin(), s.known.end(), [&](const Image& i) { return sameImage(i, now); }))
            fresh.push_back(now);
    // Removed images are reported while the list still holds them, so a callback can still ask
    // for their paths; added ones once the list holds them.
    for (const Image& image : gone)
        for (ImageCallback callback : s.removed)
            callback(image.header, image.slide);
    s.known = std::move(current);
    for (const Image& image : fresh)
        for (ImageCallback callback : s.added)
            callback(image.header, image.slide);
}

} // namespace

void registerFuncForAddImage(ImageCallback callback) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    syncLocked(s, s.known.empty());
    s.added.push_back(callback);
    const std::vector<Image> loaded = s.known;
    for (const Image& image : loaded)
        callback(image.header, image.slide);
}

void registerFuncForRemoveImage(ImageCallback callback) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.removed.push_back(callback);
}

void* open(const char* path, int mode) {
    void* handle = ::dlopen(path, mode);
    sync();
    return handle;
}

int close(void* handle) {
    const int result = ::dlclose(handle);
    sync();
    return result;
}

void sync() {
    const int savedErrno = errno;
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        syncLocked(s, false);
    }
    errno = savedErrno;
}

std::vector<Image> images() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    syncLocked(s, s.known.empty());
    return s.known;
}

std::string imagePath(const void* header) {
    for (const Image& image : images())
        if (image.header == header) return image.path;
    return {};
}

const void* debugRendezvous() {
    // DT_DEBUG points at the linker's own record. A program that refers to _r_debug gets a copy,
    // whose version the linker leaves at 1, hiding the link to the other namespaces.
    const void* found = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type != PT_DYNAMIC) continue;
                const auto* entry =
                    reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                for (; entry->d_tag != DT_NULL; ++entry)
                    if (entry->d_tag == DT_DEBUG)
                        *static_cast<const void**>(data) = reinterpret_cast<const void*>(entry->d_un.d_ptr);
            }
            return 1; // the program comes first
        },
        &found);
    return found;
}

void resetForTesting() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.added.clear();
    s.removed.clear();
}

} // namespace plat::dyld
