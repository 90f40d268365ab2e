// The library that the demo's loader library loads: three calls deep, built without frame
// pointers, it writes its own backtrace() ("backtrace <hex> ..." on standard output, from the
// innermost frame's return address outwards) and "image <path> <hex base>", then faults. A walk
// through these frames needs the library's unwind tables.
#include <dlfcn.h>
#include <execinfo.h>
#include <stdio.h>
#include <unistd.h>

namespace {

volatile unsigned long framelessTarget = 24; // in the first page, never mapped

void printSelf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return;
    dprintf(STDOUT_FILENO, "image %s %lx\n", info.dli_fname, reinterpret_cast<unsigned long>(info.dli_fbase));
}

} // namespace

extern "C" {

__attribute__((noinline)) int crashDemoFramelessLeaf(int n) {
    volatile char pad[64];
    pad[n] = static_cast<char>(n);
    void* frames[64];
    const int depth = backtrace(frames, 64);
    char line[64 * 20 + 16];
    int length = snprintf(line, sizeof line, "backtrace");
    for (int i = 0; i < depth && length < static_cast<int>(sizeof line) - 20; ++i)
        length +=
            snprintf(line + length, sizeof line - length, " %lx", reinterpret_cast<unsigned long>(frames[i]));
    dprintf(STDOUT_FILENO, "%s\n", line);
    printSelf(reinterpret_cast<const void*>(&crashDemoFramelessLeaf));
    *reinterpret_cast<volatile int*>(framelessTarget) = pad[n];
    return pad[n];
}

__attribute__((noinline)) int crashDemoFramelessMiddle(int n) {
    volatile char pad[96];
    pad[n] = static_cast<char>(n);
    return crashDemoFramelessLeaf(n + 1) + pad[n];
}

__attribute__((noinline, visibility("default"))) int crashDemoFramelessEnter(int n) {
    volatile char pad[128];
    pad[n] = static_cast<char>(n);
    return crashDemoFramelessMiddle(n + 1) + pad[n];
}

} // extern "C"
