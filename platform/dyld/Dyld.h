// The dynamic linker's image list and image callbacks, as the crash reporter expects them: an
// add-image callback that runs at once for every image already loaded and then for each new one,
// a remove-image callback, and the list of loaded images. Backed by dl_iterate_phdr; its add and
// remove counters tell when the list changed. The process's dlopen and dlclose stay the C
// library's own: a change is reported by the next scan (sync(), images(), open() and close()), and
// crash-time code that must see every image reads the linker's own list (debugRendezvous()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::dyld {

// One loaded image: its mapped ELF header, the load bias (the "slide") and its path.
struct Image {
    const void* header = nullptr;
    intptr_t slide = 0;
    std::string path;
};

// Callbacks receive the image's header and slide, on the thread that caused the change (the
// registering thread for images already loaded). They run one at a time and may call the
// functions below. A removed image is reported once the linker has let it go: its memory may be
// unmapped already, so a remove callback identifies it by its header address and never reads it
// (imagePath still answers during the callback).
using ImageCallback = void (*)(const void* header, intptr_t slide);

void registerFuncForAddImage(ImageCallback callback);
void registerFuncForRemoveImage(ImageCallback callback);

// dlopen/dlclose that report the images they add or remove before returning. The linker resolves
// a name relative to its caller ($ORIGIN, a run path) from the code that calls it, here the
// program linking this library: a library that needs its own search calls dlopen itself.
void* open(const char* path, int mode);
int close(void* handle);

// Rescans the image list when the linker's counters moved, reporting what changed.
void sync();

// The images known at the last scan, in the linker's order (the executable first).
std::vector<Image> images();
// The path of the image whose header is given; empty when none is loaded there.
std::string imagePath(const void* header);

// The linker's rendezvous record (struct r_debug, extended to one per namespace where the
// linker says so), which debuggers read: the head of its list of loaded objects, kept current by
// the linker itself. Found through the program's DT_DEBUG entry, which points at the linker's own
// record; none when the program has no such entry.
const void* debugRendezvous();

// Test hook: forgets every registered callback.
void resetForTesting();

} // namespace plat::dyld
