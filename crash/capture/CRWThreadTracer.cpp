// Runs at crash time. The ptrace thread reader: its helper process and the slots they share.
#include "crash/capture/CRWThreadTracer.h"

#include "crash/capture/CRWThreadStopper.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWMonotonicClock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <elf.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef PR_SET_PTRACER
#define PR_SET_PTRACER 0x59616d61
#endif

// Everything the helper runs. It shares this process's memory and the thread pointer of the thread
// that made it, so the sanitizers' bookkeeping (which lives behind that pointer) must not see it,
// and it calls nothing outside this file (the crash path's clock is inlined into it).
#define CRW_HELPER_CODE __attribute__((noinline, no_sanitize("address", "thread", "undefined")))

namespace {

// A slot goes Pending -> Seized (attached, stop asked for) -> Read (stopped, registers stored), or
// to Failed with a reason at any step.
enum TraceState : uint32_t { Unused = 0, Pending = 1, Seized = 2, Read = 3, Failed = 4 };

struct TraceSlot {
    pid_t tid;
    uint32_t state;
    uint32_t failure; // CRWThreadReadFailure
    uint32_t held;    // in a ptrace stop that the helper must end with a detach
    uint32_t signal;  // a signal whose delivery the stop caught, handed back at the detach
    int64_t askedAt;  // when the helper asked the thread to stop (monotonic)
    // For a thread given up on once a wait ran out: how long it was waited for, and how long that
    // wait was meant to be; 0 otherwise.
    int64_t waited;
    int64_t due;
    struct user_regs_struct registers;
};

TraceSlot slots[CRWMaxRecordedThreads];
uint32_t slotCount = 0;

// The helper's progress, a futex word both sides wait on (the helper shares this process's memory,
// so private futexes reach it).
enum HelperPhase : uint32_t {
    NoHelper = 0,
    Created = 1,   // waits to be allowed to trace
    Go = 2,        // attaching and reading
    Holding = 3,   // every thread it could stop is stopped and read
    Releasing = 4, // asked to let them go
    Finished = 5,  // they are gone; it exits
};
uint32_t phase = NoHelper;
// The helper not reaped yet (0 when none) and the process it serves.
pid_t helperPid = 0;
pid_t helperParent = 0;
// When the helper was started, and how long after that the recorder stops waiting for threads
// that have not settled yet.
int64_t attachedAt = 0;
int64_t attachTimeoutNanoseconds = 0;
// Whether the helper was named as the process allowed to trace us.
bool named = false;
// Yama's ptrace scope, read once before any crash; -1 without Yama. From 1 on, the helper waits
// until it is named as our tracer.
int yamaScope = -2; // not read yet

constexpr size_t kHelperStackSize = 64 * 1024;
alignas(64) unsigned char helperStack[kHelperStackSize];

// The helper waits this long for its go-ahead, and held threads this long for their release before
// it lets them go by itself.
constexpr int64_t kGoTimeoutNanoseconds = 1'000'000'000;
constexpr int64_t kHoldTimeoutNanoseconds = 10'000'000'000;
// How long the helper waits for the next of the threads to stop (on a loaded machine thirty threads
// take longer than that together, each as the scheduler runs it); set by each attach.
int64_t stopTimeoutNanoseconds = 0;
// How long the recorder waits for the helper to end once released, and again once killed.
constexpr int64_t kExitTimeoutNanoseconds = 200'000'000;
// The pause between two looks at a helper that is about to end.
constexpr long kPollNanoseconds = 20'000;

#if defined(__x86_64__)

// A system call that leaves errno (thread-local storage of the maker) alone: -errno on failure.
CRW_HELPER_CODE long rawSyscall(long number, long a = 0, long b = 0, long c = 0, long d = 0, long e = 0) {
    long result;
    register long r10 __asm__("r10") = d;
    register long r8 __asm__("r8") = e;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10), "r"(r8)
                     : "rcx", "r11", "memory");
    return result;
}

// clone(2) without the C library: the child starts on `stackTop` in `entry(argument)` and exits
// with its result. The parent gets the child's id or -errno.
long rawClone(unsigned long flags, void* stackTop, int (*entry)(void*), void* argument) {
    auto* stack = static_cast<uint64_t*>(stackTop);
    *--stack = reinterpret_cast<uint64_t>(argument);
    *--stack = reinterpret_cast<uint64_t>(entry);
    long result;
    register long r10 __asm__("r10") = 0; // no child tid to store
    register long r8 __asm__("r8") = 0;   // no new thread pointer
    __asm__ volatile("syscall\n\t"
                     "testq %%rax, %%rax\n\t"
                     "jnz 1f\n\t"
                     // The child: no caller frame, then entry(argument), then exit.
                     "xorl %%ebp, %%ebp\n\t"
                     "popq %%rax\n\t"
                     "popq %%rdi\n\t"
                     "call *%%rax\n\t"
                     "movq %%rax, %%rdi\n\t"
                     "movl %[exitCall], %%eax\n\t"
                     "syscall\n\t"
                     "hlt\n\t"
                     "1:\n\t"
                     : "=a"(result)
                     : "a"(static_cast<long>(SYS_clone)), "D"(flags), "S"(stack), "d"(0L), "r"(r10),
                       "r"(r8), [exitCall] "i"(SYS_exit)
                     : "rcx", "r11", "memory");
    return result;
}

constexpr bool kHelperSupported = true;

#else

CRW_HELPER_CODE long rawSyscall(long, long = 0, long = 0, long = 0, long = 0, long = 0) {
    return -ENOSYS;
}
long rawClone(unsigned long, void*, int (*)(void*), void*) {
    return -ENOSYS;
}
constexpr bool kHelperSupported = false;

#endif

CRW_HELPER_CODE uint32_t load(const uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_ACQUIRE);
}

CRW_HELPER_CODE void store(uint32_t* word, uint32_t value) {
    __atomic_store_n(word, value, __ATOMIC_RELEASE);
}

// The kernel's sigaction and signal set (64 signals) on this machine.
struct KernelSigaction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    uint64_t mask;
};
constexpr uint64_t signalBit(int signal) {
    return uint64_t{1} << (signal - 1);
}

// A tracee's stop is announced to its tracer by SIGCHLD, which the helper keeps blocked: it waits
// for that signal (at most `nanoseconds`) instead of polling. Its disposition must not be "ignore"
// for the kernel to send it, whatever the application chose; the helper's handler table is its
// own copy, so that choice is not touched.
CRW_HELPER_CODE void announceStops() {
    KernelSigaction action{};
    action.handler = SIG_DFL;
    rawSyscall(SYS_rt_sigaction, SIGCHLD, reinterpret_cast<long>(&action), 0, sizeof(uint64_t));
}

CRW_HELPER_CODE void waitForAStop(int64_t nanoseconds) {
    const uint64_t child = signalBit(SIGCHLD);
    struct timespec timeout {
        static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)
    };
    rawSyscall(SYS_rt_sigtimedwait, reinterpret_cast<long>(&child), 0, reinterpret_cast<long>(&timeout),
               sizeof(uint64_t));
}

CRW_HELPER_CODE void wake(uint32_t* word) {
    rawSyscall(SYS_futex, reinterpret_cast<long>(word), FUTEX_WAKE_PRIVATE, INT32_MAX);
}

// Waits while `*word` is `value`, until `deadline`; false on time-out.
CRW_HELPER_CODE bool waitWhile(uint32_t* word, uint32_t value, int64_t deadline) {
    while (load(word) == value) {
        const int64_t remaining = deadline - CRWMonotonicNanoseconds();
        if (remaining <= 0) return false;
        struct timespec timeout {
            static_cast<time_t>(remaining / 1'000'000'000), static_cast<long>(remaining % 1'000'000'000)
        };
        rawSyscall(SYS_futex, reinterpret_cast<long>(word), FUTEX_WAIT_PRIVATE, value,
                   reinterpret_cast<long>(&timeout));
    }
    return true;
}

// A slot is settled (read or failed): the recorder may be waiting for it.
CRW_HELPER_CODE void settled(TraceSlot* slot, uint32_t state) {
    store(&slot->state, state);
    wake(&slot->state);
}

CRW_HELPER_CODE void fail(TraceSlot* slot, CRWThreadReadFailure failure) {
    slot->failure = failure;
    settled(slot, Failed);
}

// The thread is given up on because a wait for it ran out: `waited` of the `due` it was meant to
// last.
CRW_HELPER_CODE void failAfterWait(TraceSlot* slot, CRWThreadReadFailure failure, int64_t waited,
                                   int64_t due) {
    slot->waited = waited;
    slot->due = due;
    fail(slot, failure);
}

CRW_HELPER_CODE CRWThreadReadFailure failureOfAttach(long error) {
    if (error == -ESRCH) return CRWThreadReadFailureExited;
    if (error == -EPERM || error == -EACCES) return CRWThreadReadFailureNotPermitted;
    return CRWThreadReadFailureUnavailable;
}

// Attaches without stopping the thread, then asks it to stop: unlike a plain attach, no signal is
// sent, so the rest of the process is left alone.
CRW_HELPER_CODE void seize(TraceSlot* slot) {
    long result = rawSyscall(SYS_ptrace, PTRACE_SEIZE, slot->tid, 0, 0);
    if (result < 0) return fail(slot, failureOfAttach(result));
    result = rawSyscall(SYS_ptrace, PTRACE_INTERRUPT, slot->tid, 0, 0);
    if (result < 0)
        return fail(slot, result == -ESRCH ? CRWThreadReadFailureExited : CRWThreadReadFailureNoStop);
    slot->askedAt = CRWMonotonicNanoseconds();
    store(&slot->state, Seized);
}

// A thread reported a change: a stop (whatever caught it, the registers are there to read) or its
// end.
CRW_HELPER_CODE void settle(TraceSlot* slot, int status) {
    if (!WIFSTOPPED(status)) return fail(slot, CRWThreadReadFailureExited);
    slot->held = 1;
    // A signal-delivery stop carries no event; that signal is handed back when the thread goes.
    if ((status >> 16) == 0 && WSTOPSIG(status) != SIGTRAP)
        slot->signal = static_cast<uint32_t>(WSTOPSIG(status));
    struct iovec vector {
        &slot->registers, sizeof(slot->registers)
    };
    if (rawSyscall(SYS_ptrace, PTRACE_GETREGSET, slot->tid, NT_PRSTATUS, reinterpret_cast<long>(&vector)) < 0)
        return fail(slot, CRWThreadReadFailureRegisters);
    settled(slot, Read);
}

// Waits (bounded) for every seized thread to stop, reading each as it does; a release ends the wait
// early. The bound runs from the last thread that stopped: one that cannot stop costs one bound.
CRW_HELPER_CODE void readSeizedThreads(uint32_t count) {
    int64_t deadline = CRWMonotonicNanoseconds() + stopTimeoutNanoseconds;
    for (;;) {
        // A stop announced while we look is still pending afterwards: the wait below returns at once.
        bool waiting = false;
        for (uint32_t i = 0; i < count; ++i) {
            if (load(&slots[i].state) != Seized) continue;
            int status = 0;
            const long changed =
                rawSyscall(SYS_wait4, slots[i].tid, reinterpret_cast<long>(&status), __WALL | WNOHANG, 0);
            if (changed == 0) {
                waiting = true;
            } else if (changed < 0) {
                fail(&slots[i], CRWThreadReadFailureExited);
            } else {
                settle(&slots[i], status);
                deadline = CRWMonotonicNanoseconds() + stopTimeoutNanoseconds;
            }
        }
        if (!waiting) return;
        const int64_t remaining = deadline - CRWMonotonicNanoseconds();
        if (load(&phase) == Releasing) break;
        if (remaining <= 0) break;
        waitForAStop(remaining);
    }
    const int64_t now = CRWMonotonicNanoseconds();
    for (uint32_t i = 0; i < count; ++i)
        if (load(&slots[i].state) == Seized)
            failAfterWait(&slots[i], CRWThreadReadFailureNoStop, now - slots[i].askedAt,
                          stopTimeoutNanoseconds);
}

// The helper process. Its signals are blocked from birth (it inherits its maker's mask), so no
// handler of the application ever runs in it; it ends with the thread that made it.
CRW_HELPER_CODE int helperMain(void*) {
    rawSyscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL);
    if (rawSyscall(SYS_getppid) != helperParent) return 1;
    announceStops();
    if (!waitWhile(&phase, Created, CRWMonotonicNanoseconds() + kGoTimeoutNanoseconds) || load(&phase) != Go)
        return 1;
    const uint32_t count = load(&slotCount);
    for (uint32_t i = 0; i < count; ++i)
        seize(&slots[i]);
    readSeizedThreads(count);

    // Unless the release came first, hold the threads until it comes.
    uint32_t going = Go;
    if (__atomic_compare_exchange_n(&phase, &going, Holding, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        wake(&phase);
        waitWhile(&phase, Holding, CRWMonotonicNanoseconds() + kHoldTimeoutNanoseconds);
    }
    for (uint32_t i = 0; i < count; ++i)
        if (slots[i].held != 0) rawSyscall(SYS_ptrace, PTRACE_DETACH, slots[i].tid, 0, slots[i].signal);
    // Threads seized but never stopped are let go by the kernel when this process ends.
    store(&phase, Finished);
    wake(&phase);
    return 0;
}

// The recorder's side of the futex word (a plain system call: this thread's errno is its own).
bool recorderWaitWhile(uint32_t value, int64_t deadline) {
    while (load(&phase) == value) {
        const int64_t remaining = deadline - CRWMonotonicNanoseconds();
        if (remaining <= 0) return false;
        struct timespec timeout {
            static_cast<time_t>(remaining / 1'000'000'000), static_cast<long>(remaining % 1'000'000'000)
        };
        syscall(SYS_futex, &phase, FUTEX_WAIT_PRIVATE, value, &timeout, nullptr, 0);
    }
    return true;
}

// Reaps the helper, waiting at most until `deadline`. True when it is gone.
bool reapHelper(int64_t deadline) {
    if (helperPid == 0) return true;
    for (;;) {
        int status = 0;
        const long result = syscall(SYS_wait4, helperPid, &status, __WALL | WNOHANG, nullptr);
        // Reaped, or reaped by someone else (the helper is not one of ours any more).
        if (result == helperPid || (result < 0 && errno == ECHILD)) {
            helperPid = 0;
            return true;
        }
        if (CRWMonotonicNanoseconds() >= deadline) return false;
        struct timespec interval {
            0, kPollNanoseconds
        };
        nanosleep(&interval, nullptr);
    }
}

// Kills the helper (the kernel then lets its tracees go) and reaps it, bounded.
bool killHelper() {
    if (helperPid == 0) return true;
    syscall(SYS_kill, helperPid, SIGKILL);
    return reapHelper(CRWMonotonicNanoseconds() + kExitTimeoutNanoseconds);
}

// Every slot not read yet gets `failure`, after `waited` of a wait meant to last `due` (0 for none).
void failUnread(CRWThreadReadFailure failure, bool readOnesToo, int64_t waited = 0, int64_t due = 0) {
    for (uint32_t i = 0; i < slotCount; ++i) {
        const uint32_t state = load(&slots[i].state);
        if (state == Pending || state == Seized || (readOnesToo && state == Read))
            failAfterWait(&slots[i], failure, waited, due);
    }
}

// The helper is beyond waiting for: killing it lets every thread it holds go, so none of them
// counts as read any more. Each of them was waited for as long as the helper was.
void giveUp() {
    const int64_t waited = CRWMonotonicNanoseconds() - attachedAt;
    killHelper();
    failUnread(CRWThreadReadFailureTimedOut, true, waited, attachTimeoutNanoseconds);
    store(&phase, NoHelper);
}

// The slot of `thread` once the helper has settled it, waiting (bounded) until it has; none when
// the thread is not among the slots.
const TraceSlot* settledSlotOf(pid_t thread) {
    TraceSlot* slot = nullptr;
    for (uint32_t i = 0; i < slotCount && slot == nullptr; ++i)
        if (slots[i].tid == thread) slot = &slots[i];
    if (slot == nullptr) return nullptr;
    for (uint32_t state = load(&slot->state); state == Pending || state == Seized;
         state = load(&slot->state)) {
        const int64_t remaining = attachedAt + attachTimeoutNanoseconds - CRWMonotonicNanoseconds();
        if (remaining <= 0) {
            giveUp();
            break;
        }
        struct timespec timeout {
            static_cast<time_t>(remaining / 1'000'000'000), static_cast<long>(remaining % 1'000'000'000)
        };
        syscall(SYS_futex, &slot->state, FUTEX_WAIT_PRIVATE, state, &timeout, nullptr, 0);
    }
    return slot;
}

// Reads Yama's ptrace scope (-1 without Yama).
int readYamaScope() {
    const int descriptor = open("/proc/sys/kernel/yama/ptrace_scope", O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return -1;
    char digit = 0;
    const ssize_t count = read(descriptor, &digit, 1);
    close(descriptor);
    return count == 1 && digit >= '0' && digit <= '9' ? digit - '0' : -1;
}

} // namespace

void CRWThreadTracerPrepare() {
    if (yamaScope == -2) yamaScope = readYamaScope();
}

const char* CRWThreadReadFailureReason(CRWThreadReadFailure failure) {
    switch (failure) {
    case CRWThreadReadFailureNone:
        return nullptr;
    case CRWThreadReadFailureExited:
        return "thread exited";
    case CRWThreadReadFailureNotPermitted:
        return "ptrace not permitted";
    case CRWThreadReadFailureUnavailable:
        return "ptrace unavailable";
    case CRWThreadReadFailureNoStop:
        return "thread did not stop";
    case CRWThreadReadFailureRegisters:
        return "registers unreadable";
    case CRWThreadReadFailureTimedOut:
        return "thread reader timed out";
    case CRWThreadReadFailureNotAsked:
        return "thread not stopped";
    }
    return "unknown";
}

bool CRWThreadTracerAttach(const pid_t* threads, uint32_t count, uint32_t stopMilliseconds,
                           uint32_t timeoutMilliseconds) {
    // A helper of an earlier session that still runs keeps its stack: no second one beside it.
    const bool helperFree = reapHelper(CRWMonotonicNanoseconds() + kExitTimeoutNanoseconds) || killHelper();
    const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
    slotCount = 0;
    for (uint32_t i = 0; threads != nullptr && i < count && slotCount < CRWMaxRecordedThreads; ++i) {
        if (threads[i] == self) continue;
        TraceSlot& slot = slots[slotCount++];
        slot.tid = threads[i];
        slot.failure = CRWThreadReadFailureNone;
        slot.held = 0;
        slot.signal = 0;
        slot.askedAt = 0;
        slot.waited = 0;
        slot.due = 0;
        store(&slot.state, Pending);
    }
    if (slotCount == 0) return true;
    if (!kHelperSupported || !helperFree) {
        failUnread(CRWThreadReadFailureUnavailable, false);
        return false;
    }

    CRWThreadTracerPrepare();
    stopTimeoutNanoseconds = int64_t{stopMilliseconds} * 1'000'000;
    // Under Yama's restricted ptrace only a named process may trace its elders, so the helper waits
    // to be named; otherwise it starts at once.
    const bool mustName = yamaScope >= 1;
    helperParent = getpid();
    store(&phase, mustName ? Created : Go);
    // The helper inherits this mask: with everything blocked no handler ever runs in it.
    sigset_t all, previous;
    sigfillset(&all);
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &all, &previous, _NSIG / 8);
    const long child = rawClone(CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_UNTRACED,
                                helperStack + kHelperStackSize, helperMain, nullptr);
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &previous, nullptr, _NSIG / 8);
    if (child <= 0) {
        store(&phase, NoHelper);
        failUnread(CRWThreadReadFailureUnavailable, false);
        return false;
    }
    helperPid = static_cast<pid_t>(child);

    // Only the helper is named, and only until it is gone.
    named = mustName && syscall(SYS_prctl, PR_SET_PTRACER, helperPid, 0, 0, 0) == 0;
    if (mustName) {
        store(&phase, Go);
        wake(&phase);
    }
    attachTimeoutNanoseconds = int64_t{timeoutMilliseconds} * 1'000'000;
    attachedAt = CRWMonotonicNanoseconds();
    return true;
}

bool CRWThreadTracerGetContext(pid_t thread, CRWThreadContext* context) {
    if (!CRWIsValidPointer(context)) return false;
    const TraceSlot* slot = settledSlotOf(thread);
    if (slot == nullptr || load(&slot->state) != Read) return false;
    return CRWThreadContextFromTraceRegisters(&slot->registers, context);
}

CRWThreadReadFailure CRWThreadTracerFailure(pid_t thread, CRWThreadWait* wait) {
    if (wait != nullptr) *wait = CRWThreadWait{0, 0};
    const TraceSlot* slot = settledSlotOf(thread);
    if (slot == nullptr) return CRWThreadReadFailureNotAsked;
    const uint32_t state = load(&slot->state);
    if (state == Read) return CRWThreadReadFailureNone;
    if (state != Failed) return CRWThreadReadFailureNotAsked;
    if (wait != nullptr) *wait = CRWThreadWait{slot->waited, slot->due};
    return static_cast<CRWThreadReadFailure>(slot->failure);
}

bool CRWThreadTracerRelease() {
    bool ended = true;
    if (helperPid != 0) {
        const int64_t deadline = CRWMonotonicNanoseconds() + kExitTimeoutNanoseconds;
        // Whether it holds its threads or still stops them, it lets them go (and one that tired of
        // holding has let them go already).
        uint32_t current = load(&phase);
        while ((current == Go || current == Holding) &&
               !__atomic_compare_exchange_n(&phase, &current, Releasing, false, __ATOMIC_ACQ_REL,
                                            __ATOMIC_ACQUIRE)) {
        }
        if (current == Go || current == Holding) {
            wake(&phase);
            // A helper waiting for a stop waits for this signal as well.
            syscall(SYS_kill, helperPid, SIGCHLD);
            // It says when its threads are gone, just before it ends.
            recorderWaitWhile(Releasing, deadline);
        }
        ended = reapHelper(deadline) || killHelper();
    }
    if (named) syscall(SYS_prctl, PR_SET_PTRACER, 0, 0, 0, 0);
    named = false;
    store(&phase, NoHelper);
    for (uint32_t i = 0; i < slotCount; ++i) {
        slots[i].tid = 0;
        store(&slots[i].state, Unused);
    }
    slotCount = 0;
    return ended;
}
