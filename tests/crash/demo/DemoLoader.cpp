// A library that crash-demo loads, which loads a second one itself with the system's plain dlopen
// and calls into it, as a graphics library loads its driver.
#include <dlfcn.h>

extern "C" {

// Loads the library at `path`, calls its crashDemoFramelessEnter and returns what it returns, plus
// one (so that the call is not the function's last act and the frame stays on the stack).
__attribute__((noinline, visibility("default"))) int crashDemoLoaderRun(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return -1;
    auto enter = reinterpret_cast<int (*)(int)>(dlsym(library, "crashDemoFramelessEnter"));
    if (enter == nullptr) return -2;
    return enter(3) + 1;
}

// Plain dlopen and dlclose on behalf of the caller, from inside this library.
__attribute__((visibility("default"))) void* crashDemoLoaderOpen(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
__attribute__((visibility("default"))) int crashDemoLoaderClose(void* library) {
    return dlclose(library);
}

} // extern "C"
