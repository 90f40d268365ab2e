/* The address sanitizer's defaults for every program of the sanitizer build (cmake/Velmora.cmake
 * adds them to each one).
 *
 * intercept_tls_get_addr=0: the runtime stops recording where each thread's block for a library
 * loaded later (dlopen) lies. For a block that starts 16 bytes into a page it takes the 16 bytes
 * before it for a layout older C libraries used and records {size, start} read from them; with
 * this C library those bytes are the allocator's own chunk header, so the block is recorded as
 * starting near address zero. The leak check at exit reads every recorded block, faults there and
 * fails the process: the GL driver's shader compiler keeps a small block for the main thread,
 * which now and then lands at such an address. Without the record the leak check
 * still finds what those blocks point to: they are ordinary heap blocks, reached through the C
 * library's per-thread table, which the thread's own area points to. */
const char* __asan_default_options(void);

__attribute__((visibility("default"), used)) const char* __asan_default_options(void) {
    return "intercept_tls_get_addr=0";
}
