/* A library with a thread-local block of its own, large enough that the allocator gives it pages of
 * its own when a thread first uses it. */
__thread char velmora_dynamic_tls_block[256 * 1024];

char* velmora_dynamic_tls_touch(void);

char* velmora_dynamic_tls_touch(void) {
    velmora_dynamic_tls_block[0] = 1;
    return velmora_dynamic_tls_block;
}
