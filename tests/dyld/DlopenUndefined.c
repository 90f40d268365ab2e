/* A library that calls a function nothing defines: it loads lazily, but not with RTLD_NOW. */
int velmora_dlopen_nowhere(int x);

int velmora_dlopen_undefined_value(int x) {
    return velmora_dlopen_nowhere(x) + 1;
}
