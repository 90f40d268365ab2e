// Runs at crash time. The one clock of the crash path: CLOCK_MONOTONIC in nanoseconds, for the
// deadlines of the signal handlers, the thread stopper and the ptrace helper.
#pragma once

#include <cstdint>
#include <ctime>
#include <sys/syscall.h>

// Async-signal-safe: it allocates nothing, takes no lock and cannot fail on Linux. On x86-64 it is
// one system call made directly, so it leaves errno alone and reads nothing behind the thread
// pointer: the ptrace helper, which shares the thread pointer of the thread that made it, may call
// it. Always inlined and never instrumented by the sanitizers, so it adds no call to the helper
// (whose code calls nothing outside its own file).
__attribute__((always_inline, no_sanitize("address", "thread", "undefined"))) inline int64_t
CRWMonotonicNanoseconds() {
    struct timespec now {};
#if defined(__x86_64__)
    long result;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(static_cast<long>(SYS_clock_gettime)), "D"(static_cast<long>(CLOCK_MONOTONIC)),
                       "S"(&now)
                     : "rcx", "r11", "memory");
    (void)result;
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
