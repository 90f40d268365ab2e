// The interposed allocation functions. They forward to the next definition in symbol lookup (the C
// library's, or the sanitizer's) and count calls while counting is on.
#include "tests/crash/support/CountingAllocator.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_COUNT_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_COUNT_SANITIZER_HOOKS 1
#endif
#endif
#if defined(VELMORA_COUNT_SANITIZER_HOOKS)
// The sanitizer runtime's hook registration (declared here: not every compiler ships its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
#endif

namespace {

using MallocFunction = void* (*)(size_t);
using CallocFunction = void* (*)(size_t, size_t);
using ReallocFunction = void* (*)(void*, size_t);
using FreeFunction = void (*)(void*);
using AlignedAllocFunction = void* (*)(size_t, size_t);
using PosixMemalignFunction = int (*)(void**, size_t, size_t);

MallocFunction realMalloc = nullptr;
CallocFunction realCalloc = nullptr;
ReallocFunction realRealloc = nullptr;
FreeFunction realFree = nullptr;
AlignedAllocFunction realAlignedAlloc = nullptr;
PosixMemalignFunction realPosixMemalign = nullptr;

// dlsym may allocate while the real functions are being looked up; those few blocks come from
// here and are never freed.
alignas(std::max_align_t) char bootstrapArena[16384];
std::atomic<size_t> bootstrapUsed{0};
thread_local bool resolving = false;

void* bootstrapAllocate(size_t size) {
    const size_t rounded = (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    const size_t offset = bootstrapUsed.fetch_add(rounded);
    if (offset + rounded > sizeof(bootstrapArena)) return nullptr;
    return bootstrapArena + offset; // static storage is zeroed, which calloc needs
}

bool fromBootstrap(const void* p) {
    return p >= bootstrapArena && p < bootstrapArena + sizeof(bootstrapArena);
}

void resolve() {
    if (realFree != nullptr) return;
    resolving = true;
    realMalloc = reinterpret_cast<MallocFunction>(dlsym(RTLD_NEXT, "malloc"));
    realCalloc = reinterpret_cast<CallocFunction>(dlsym(RTLD_NEXT, "calloc"));
    realRealloc = reinterpret_cast<ReallocFunction>(dlsym(RTLD_NEXT, "realloc"));
    realAlignedAlloc = reinterpret_cast<AlignedAllocFunction>(dlsym(RTLD_NEXT, "aligned_alloc"));
    realPosixMemalign = reinterpret_cast<PosixMemalignFunction>(dlsym(RTLD_NEXT, "posix_memalign"));
    realFree = reinterpret_cast<FreeFunction>(dlsym(RTLD_NEXT, "free"));
    resolving = false;
}

// Counting state. The thread flag is a plain static thread-local of the executable, which needs no
// allocation to reach.
std::atomic<bool> countingOn{false};
std::atomic<bool> countingAllThreads{false};
thread_local bool countingThread = false;

enum Counter {
    Mallocs,
    Callocs,
    Reallocs,
    Frees,
    News,
    Deletes,
    SanitizerAllocations,
    SanitizerFrees,
    CounterCount
};
std::atomic<uint64_t> counters[CounterCount];

void count(Counter counter) {
    if (!countingOn.load(std::memory_order_relaxed)) return;
    if (!countingThread && !countingAllThreads.load(std::memory_order_relaxed)) return;
    counters[counter].fetch_add(1, std::memory_order_relaxed);
}

#if defined(VELMORA_COUNT_SANITIZER_HOOKS)
void sanitizerMallocHook(const volatile void*, size_t) {
    count(SanitizerAllocations);
}
void sanitizerFreeHook(const volatile void*) {
    count(SanitizerFrees);
}
#endif

void* allocateAligned(size_t alignment, size_t size) {
    resolve();
    void* p = nullptr;
    if (realPosixMemalign(&p, alignment < sizeof(void*) ? sizeof(void*) : alignment, size ? size : 1) != 0)
        return nullptr;
    return p;
}

void* newBlock(size_t size) {
    count(News);
    resolve();
    return realMalloc(size ? size : 1);
}

void* newAlignedBlock(size_t size, std::align_val_t alignment) {
    count(News);
    return allocateAligned(static_cast<size_t>(alignment), size);
}

void deleteBlock(void* p) {
    count(Deletes);
    if (p == nullptr || fromBootstrap(p)) return;
    resolve();
    realFree(p);
}

} // namespace

namespace crashtest {

std::ostream& operator<<(std::ostream& out, const AllocationCounts& c) {
    return out << "{malloc " << c.mallocs << ", calloc " << c.callocs << ", realloc " << c.reallocs
               << ", free " << c.frees << ", new " << c.news << ", delete " << c.deletes
               << ", sanitizer allocations " << c.sanitizerAllocations << ", sanitizer frees "
               << c.sanitizerFrees << "}";
}

void startCountingAllocations(bool allThreads) {
#if defined(VELMORA_COUNT_SANITIZER_HOOKS)
    static const bool hooksInstalled =
        __sanitizer_install_malloc_and_free_hooks(sanitizerMallocHook, sanitizerFreeHook) != 0;
    (void)hooksInstalled;
#endif
    for (auto& counter : counters)
        counter.store(0);
    countingThread = true;
    countingAllThreads.store(allThreads);
    countingOn.store(true);
}

bool countOnThisThread(bool on) {
    const bool before = countingThread;
    countingThread = on;
    return before;
}

namespace {
// The handlers that countingHandler runs, by signal.
struct sigaction countedActions[NSIG];

void countingHandler(int signal, siginfo_t* info, void* context) {
    const bool before = countOnThisThread(true);
    const struct sigaction& counted = countedActions[signal];
    if ((counted.sa_flags & SA_SIGINFO) != 0)
        counted.sa_sigaction(signal, info, context);
    else
        counted.sa_handler(signal);
    countOnThisThread(before);
}
} // namespace

void countInHandlersOf(std::initializer_list<int> signals) {
    for (int signal : signals) {
        struct sigaction current {};
        if (signal <= 0 || signal >= NSIG || sigaction(signal, nullptr, &current) != 0) continue;
        const bool function = (current.sa_flags & SA_SIGINFO) != 0
                                  ? current.sa_sigaction != nullptr && current.sa_sigaction != countingHandler
                                  : current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN;
        if (!function) continue;
        countedActions[signal] = current;
        struct sigaction wrapper = current;
        wrapper.sa_flags |= SA_SIGINFO;
        wrapper.sa_sigaction = countingHandler;
        sigaction(signal, &wrapper, nullptr);
    }
}

AllocationCounts stopCountingAllocations() {
    countingOn.store(false);
    countingThread = false;
    countingAllThreads.store(false);
    AllocationCounts result;
    result.mallocs = counters[Mallocs].load();
    result.callocs = counters[Callocs].load();
    result.reallocs = counters[Reallocs].load();
    result.frees = counters[Frees].load();
    result.news = counters[News].load();
    result.deletes = counters[Deletes].load();
    result.sanitizerAllocations = counters[SanitizerAllocations].load();
    result.sanitizerFrees = counters[SanitizerFrees].load();
    return result;
}

} // namespace crashtest

extern "C" {

void* malloc(size_t size) {
    if (resolving) return bootstrapAllocate(size);
    count(Mallocs);
    resolve();
    return realMalloc(size);
}

void* calloc(size_t count_, size_t size) {
    if (resolving)
        return count_ != 0 && size > SIZE_MAX / count_ ? nullptr : bootstrapAllocate(count_ * size);
    count(Callocs);
    resolve();
    return realCalloc(count_, size);
}

void* realloc(void* p, size_t size) {
    if (resolving) return bootstrapAllocate(size);
    count(Reallocs);
    resolve();
    if (fromBootstrap(p)) {
        // A bootstrap block moves to the real heap; its old size is unknown, so copy what fits.
        void* moved = realMalloc(size);
        if (moved != nullptr) {
            const size_t available =
                static_cast<size_t>(bootstrapArena + sizeof(bootstrapArena) - static_cast<char*>(p));
            memcpy(moved, p, size < available ? size : available);
        }
        return moved;
    }
    return realRealloc(p, size);
}

void free(void* p) {
    count(Frees);
    if (p == nullptr || fromBootstrap(p)) return;
    resolve();
    realFree(p);
}

void* aligned_alloc(size_t alignment, size_t size) {
    count(Mallocs);
    resolve();
    return realAlignedAlloc(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    count(Mallocs);
    resolve();
    return realPosixMemalign(out, alignment, size);
}

} // extern "C"

void* operator new(size_t size) {
    if (void* p = newBlock(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    if (void* p = newBlock(size)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return newBlock(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return newBlock(size);
}
void* operator new(size_t size, std::align_val_t alignment) {
    if (void* p = newAlignedBlock(size, alignment)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t alignment) {
    if (void* p = newAlignedBlock(size, alignment)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return newAlignedBlock(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return newAlignedBlock(size, alignment);
}

void operator delete(void* p) noexcept {
    deleteBlock(p);
}
void operator delete[](void* p) noexcept {
    deleteBlock(p);
}
void operator delete(void* p, size_t) noexcept {
    deleteBlock(p);
}
void operator delete[](void* p, size_t) noexcept {
    deleteBlock(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    deleteBlock(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    deleteBlock(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    deleteBlock(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    deleteBlock(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    deleteBlock(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    deleteBlock(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    deleteBlock(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    deleteBlock(p);
}
