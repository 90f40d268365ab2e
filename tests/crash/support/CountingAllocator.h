// A counting allocator for tests of crash-time code: malloc, calloc, realloc, free, the aligned
// allocation functions and every form of operator new and delete are interposed in the test
// binary, so a test can prove that a code region allocates nothing.
//
// Link the object library `velmora_counting_allocator` into the test binary. Counting is switched
// on and off around the region; by default only calls on the thread that switched it on count, so
// worker threads of the test framework or of other tests do not disturb the result.
//
// Under AddressSanitizer the sanitizer supplies malloc itself. Our definitions in the executable
// still win symbol lookup and forward to the next definition (dlsym(RTLD_NEXT)), which is then the
// sanitizer's, so the interposition is the same in both builds and the counting test runs in the
// sanitized suite like every other test. Functions that the sanitizer intercepts whole (strdup,
// for one) allocate inside the sanitizer without calling our malloc; to see those too, the
// sanitizer's own allocation hooks are counted as well in that build.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>

namespace crashtest {

struct AllocationCounts {
    uint64_t mallocs = 0; // malloc and the aligned allocation functions
    uint64_t callocs = 0;
    uint64_t reallocs = 0;
    uint64_t frees = 0;
    uint64_t news = 0;                 // every operator new form
    uint64_t deletes = 0;              // every operator delete form
    uint64_t sanitizerAllocations = 0; // seen by the sanitizer's hooks (sanitized builds only)
    uint64_t sanitizerFrees = 0;

    uint64_t total() const {
        return mallocs + callocs + reallocs + frees + news + deletes + sanitizerAllocations + sanitizerFrees;
    }
};
std::ostream& operator<<(std::ostream& out, const AllocationCounts& counts);

// Zeroes the counters and starts counting calls on this thread (on every thread with `allThreads`).
void startCountingAllocations(bool allThreads = false);
// Stops counting and returns what was counted.
AllocationCounts stopCountingAllocations();
// Marks the calling thread as one whose calls count (or not) while counting is on, and answers
// what it was before. Async-signal-safe: a signal handler marks the thread it runs on for its own
// duration, so that code reached only from that handler is counted on whatever thread it runs.
bool countOnThisThread(bool on);
// Puts a wrapper in front of the handlers installed now for `signals` (with their flags and masks)
// that marks the thread it runs on as counted while the handler runs: what a handler allocates is
// counted on whatever thread it runs, and nothing else those threads do. A signal with no handler
// function is left alone; handlers installed later replace the wrapper.
void countInHandlersOf(std::initializer_list<int> signals);

// Hands `block` to code the optimiser cannot see into. An allocation a test makes only to count it
// is otherwise removed together with its free (the compiler may drop a malloc, calloc or new whose
// block is never used), and a self-check of the counter would then prove nothing. Not a pointer to
// const: the block is handed over uninitialised, and g++ takes a const one as a read of it.
inline void keepAllocation(void* block) {
    asm volatile("" : : "r"(block) : "memory");
}

// Counts for its lifetime; `counts()` stops counting and answers.
class AllocationCountScope {
public:
    explicit AllocationCountScope(bool allThreads = false) { startCountingAllocations(allThreads); }
    ~AllocationCountScope() {
        if (!stopped_) stopCountingAllocations();
    }
    AllocationCountScope(const AllocationCountScope&) = delete;
    AllocationCountScope& operator=(const AllocationCountScope&) = delete;
    AllocationCounts counts() {
        if (!stopped_) result_ = stopCountingAllocations();
        stopped_ = true;
        return result_;
    }

private:
    bool stopped_ = false;
    AllocationCounts result_;
};

} // namespace crashtest
