/* dynamic-tls-exit LIBRARY: loads the library, uses its thread-local block on the main thread and
 * returns from main, so that the process's exit steps (the sanitizer's leak check among them) run
 * over that block. Exits 3 when the library cannot be used. */
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
    void* library = argc > 1 ? dlopen(argv[1], RTLD_NOW) : NULL;
    char* (*touch)(void) = NULL;
    /* The form POSIX gives for a function's address from dlsym. */
    if (library) *(void**)(&touch) = dlsym(library, "velmora_dynamic_tls_touch");
    if (!touch) {
        fprintf(stderr, "dynamic-tls-exit: %s\n", library ? "no velmora_dynamic_tls_touch" : dlerror());
        return 3;
    }
    printf("block at %p\n", (void*)touch());
    fflush(stdout);
    return 0;
}
