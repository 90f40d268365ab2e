/* A library that loads others as libraries do, from its own folder: by $ORIGIN, by bare name along
   its own run path ($ORIGIN/runpath) and along the system's, by a soname already loaded from
   another folder by its full path (a second copy waits on the run path), with RTLD_NOLOAD, NULL and "", a
   library with an undefined symbol under RTLD_NOW and RTLD_LAZY, and missing files. It writes one line per
   call: the handle (numbered by first appearance, with the object's path) or the failure with
   dlerror()'s text, so that the lines of two processes can be compared. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef void* (*OpenFunction)(const char*, int);

static void* seen[64];
static int seenCount;

static int numberOf(void* handle) {
    for (int i = 0; i < seenCount; ++i)
        if (seen[i] == handle) return i + 1;
    if (seenCount == 64) return 0;
    seen[seenCount++] = handle;
    return seenCount;
}

/* With `own`, the C library's dlopen, reached past whatever the process put first; otherwise the
   dlopen this library is bound to. The calls are made from here either way, so the linker takes
   this library for their caller. Returns the length written. */
int velmora_dlopen_probe(int own, char* out, size_t size) {
    OpenFunction open = own ? (OpenFunction)(uintptr_t)dlsym(RTLD_NEXT, "dlopen") : dlopen;
    Dl_info where;
    size_t at =
        (size_t)snprintf(out, size, "dlopen from %s\n",
                         dladdr((void*)(uintptr_t)open, &where) && where.dli_fname ? where.dli_fname : "?");
    static const struct {
        const char* name;
        int mode;
    } calls[] = {
        {NULL, RTLD_NOW},
        {"", RTLD_NOW},
        {"$ORIGIN/libvelmora_dlopen_sibling.so", RTLD_NOW | RTLD_NOLOAD},
        {"$ORIGIN/libvelmora_dlopen_sibling.so", RTLD_NOW},
        {"$ORIGIN/libvelmora_dlopen_sibling.so", RTLD_LAZY | RTLD_NOLOAD},
        {"libvelmora_dlopen_plugin.so", RTLD_LAZY},
        {"libvelmora_dlopen_plugin.so", RTLD_NOW | RTLD_NOLOAD},
        {"libz.so.1", RTLD_NOW},
        {"first/libvelmora_dlopen_twin.so", RTLD_NOW}, /* under this library's folder */
        {"libvelmora_dlopen_twin.so", RTLD_NOW},
        {"libvelmora_dlopen_undefined.so", RTLD_NOW},
        {"libvelmora_dlopen_undefined.so", RTLD_LAZY},
        {"libvelmora_dlopen_missing.so", RTLD_NOW},
        {"/nonexistent/libvelmora_dlopen_missing.so", RTLD_NOW},
    };
    char folder[4096] = "";
    if (dladdr((void*)(uintptr_t)velmora_dlopen_probe, &where) && where.dli_fname &&
        strrchr(where.dli_fname, '/'))
        snprintf(folder, sizeof folder, "%.*s/", (int)(strrchr(where.dli_fname, '/') - where.dli_fname),
                 where.dli_fname);
    for (size_t i = 0; i < sizeof calls / sizeof calls[0] && at < size; ++i) {
        char path[sizeof folder + 64];
        const char* name = calls[i].name;
        if (name != NULL && strncmp(name, "first/", 6) == 0) {
            snprintf(path, sizeof path, "%s%s", folder, name);
            name = path;
        }
        dlerror();
        void* handle = open(name, calls[i].mode);
        const char* error = dlerror();
        at += (size_t)snprintf(out + at, size - at, "%s %#x: ", calls[i].name ? calls[i].name : "NULL",
                               (unsigned)calls[i].mode);
        if (at >= size) break;
        struct link_map* map = NULL;
        if (handle != NULL && dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0)
            at += (size_t)snprintf(out + at, size - at, "#%d %s", numberOf(handle),
                                   map->l_name[0] ? map->l_name : "<program>");
        else
            at += (size_t)snprintf(out + at, size - at, "fails");
        if (at < size) at += (size_t)snprintf(out + at, size - at, " | %s\n", error ? error : "-");
    }
    return (int)(at < size ? at : size - 1);
}
