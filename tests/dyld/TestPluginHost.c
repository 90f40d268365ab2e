/* A shared library whose run path names its plugins folder, and which loads plugins by bare name
   there, as plugin hosts do. */
#include <dlfcn.h>

void* velmora_test_plugin_host_open(const char* name) {
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}
