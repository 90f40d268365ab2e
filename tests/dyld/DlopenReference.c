/* The probe library's lines in a program that links nothing of ours, built with the same flags:
   what the linker (and, in a sanitized build, the sanitizer's dlopen) gives without us.
   Usage: dlopen-reference PROBE bound|own */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    void* probe = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (probe == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    int (*run)(int, char*, size_t);
    void* symbol = dlsym(probe, "velmora_dlopen_probe");
    if (symbol == NULL) return 1;
    memcpy(&run, &symbol, sizeof run);
    static char lines[16384];
    run(strcmp(argv[2], "own") == 0, lines, sizeof lines);
    fputs(lines, stdout);
    return 0;
}
