// Runs at crash time. The thread list over getdents64 and the signal-and-futex thread stopper, with
// the ptrace reader for the threads the signal cannot reach.
#include "crash/capture/CRWThreadStopper.h"

#include "crash/capture/CRWSignal.h"
#include "crash/record/CRWFile.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWMonotonicClock.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A slot goes Idle -> Requested (signal sent) -> Capturing -> Stopped (registers stored) ->
// Released (by the recorder) -> Left (the handler is done). The recorder turns a Requested slot
// back to Idle when the thread never answered, and a Capturing one to Released.
enum SlotState : uint32_t { Idle = 0, Requested = 1, Capturing = 2, Stopped = 3, Released = 4, Left = 5 };

struct StopSlot {
    std::atomic<pid_t> tid{0};
    std::atomic<uint32_t> state{Idle};
    // Why an Idle slot's thread was not stopped by the signal; None when it is left to the reader.
    std::atomic<uint32_t> failure{CRWThreadReadFailureNone};
    // For a thread given up on while it was still answering: how long the recorder waited for its
    // answer, and how long that wait was meant to be. Written and read by the recorder only.
    int64_t waited;
    int64_t due;
    CRWThreadContext context;
};

StopSlot slots[CRWMaxRecordedThreads];
std::atomic<uint32_t> slotCount{0};
// The recorder of the session in progress; 0 between sessions.
std::atomic<pid_t> sessionOwner{0};

std::atomic<bool> installed{false};
struct sigaction previousAction;

// The waits of the crash path's stop.
constexpr CRWThreadStopWaits kCrashWaits;
std::atomic<uint32_t> crashAnswerMilliseconds{kCrashWaits.answerMilliseconds};
std::atomic<uint32_t> crashReaderStopMilliseconds{kCrashWaits.readerStopMilliseconds};
std::atomic<uint32_t> crashReaderMilliseconds{kCrashWaits.readerMilliseconds};

// Stopped threads resume on their own after this long without a release.
constexpr int64_t kReleaseTimeoutNanoseconds = 10'000'000'000;
// How long the recorder waits for stopped threads to leave their handlers.
constexpr int64_t kLeaveTimeoutNanoseconds = 200'000'000;

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

// Waits while `*word` equals `expected`, at most `nanoseconds`.
void futexWait(std::atomic<uint32_t>* word, uint32_t expected, int64_t nanoseconds) {
    if (nanoseconds <= 0) return;
    struct timespec timeout {
        static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)
    };
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected, &timeout, nullptr, 0);
}

void futexWakeAll(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

// Waits until `*word` is no longer `value` or the deadline passes; false on time-out.
bool waitWhile(std::atomic<uint32_t>* word, uint32_t value, int64_t deadline) {
    while (word->load() == value) {
        const int64_t remaining = deadline - CRWMonotonicNanoseconds();
        if (remaining <= 0) return false;
        futexWait(word, value, remaining);
    }
    return true;
}

StopSlot* slotOf(pid_t thread) {
    const uint32_t count = slotCount.load();
    for (uint32_t i = 0; i < count && i < CRWMaxRecordedThreads; ++i)
        if (slots[i].tid.load() == thread) return &slots[i];
    return nullptr;
}

void chainToPrevious(int signal, siginfo_t* info, void* userContext) {
    if ((previousAction.sa_flags & SA_SIGINFO) != 0) {
        if (previousAction.sa_sigaction != nullptr) previousAction.sa_sigaction(signal, info, userContext);
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN &&
               previousAction.sa_handler != nullptr) {
        previousAction.sa_handler(signal);
    }
}

void stopHandler(int signal, siginfo_t* info, void* userContext) {
    const int savedErrno = errno;
    const bool ours = info != nullptr && info->si_code == SI_TKILL && info->si_pid == getpid();
    StopSlot* slot = ours && sessionOwner.load() != 0 ? slotOf(CRWThreadSelf()) : nullptr;
    uint32_t expected = Requested;
    if (slot == nullptr || !slot->state.compare_exchange_strong(expected, Capturing)) {
        // Late (the session ended) or not from us: someone else's use of this signal.
        if (!ours) chainToPrevious(signal, info, userContext);
        errno = savedErrno;
        return;
    }
    CRWThreadContextFromUserContext(userContext, &slot->context);
    expected = Capturing;
    if (slot->state.compare_exchange_strong(expected, Stopped)) {
        futexWakeAll(&slot->state);
        waitWhile(&slot->state, Stopped, CRWMonotonicNanoseconds() + kReleaseTimeoutNanoseconds);
    }
    slot->state.store(Left);
    futexWakeAll(&slot->state);
    errno = savedErrno;
}

// The hex number after `key` in a status text; false when the key is missing.
bool statusMask(const char* text, size_t length, const char* key, uint64_t* mask) {
    const size_t keyLength = strlen(key);
    for (size_t line = 0; line + keyLength < length;) {
        if (memcmp(text + line, key, keyLength) == 0) {
            size_t at = line + keyLength;
            while (at < length && (text[at] == ' ' || text[at] == '\t'))
                ++at;
            uint64_t value = 0;
            for (int digits = 0; at < length && digits < 16; ++at, ++digits) {
                const char c = text[at];
                const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
                if (nibble < 0) break;
                value = value << 4 | static_cast<uint64_t>(nibble);
            }
            *mask = value;
            return true;
        }
        while (line < length && text[line] != '\n')
            ++line;
        ++line;
    }
    return false;
}

// Parses a directory entry name as a thread id; 0 for anything else ("." and "..").
pid_t parseThreadId(const char* name) {
    pid_t value = 0;
    if (*name == '\0') return 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return 0;
        value = value * 10 + (*c - '0');
    }
    return value;
}

// The layout getdents64 fills.
struct LinuxDirent64 {
    uint64_t inode;
    int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1]; // runs on to its zero byte
};

} // namespace

ssize_t CRWReadSmallFile(const char* path, char* buffer, size_t size) {
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return -1;
    size_t total = 0;
    while (total + 1 < size) {
        const ssize_t count = read(descriptor, buffer + total, size - 1 - total);
        if (count <= 0) break;
        total += static_cast<size_t>(count);
    }
    close(descriptor);
    buffer[total] = '\0';
    return static_cast<ssize_t>(total);
}

ssize_t CRWThreadReadFile(pid_t thread, const char* leaf, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return -1;
    char digits[CRWFileNumberBufferSize];
    const char* number = digits + CRWFilePrepareUInt64(digits, static_cast<uint32_t>(thread), false);
    const char* const pieces[] = {"/proc/self/task/", number, "/", leaf};
    char path[64];
    size_t at = 0;
    for (const char* piece : pieces) {
        const size_t length = strlen(piece);
        if (at + length + 1 > sizeof(path)) return -1;
        memcpy(path + at, piece, length);
        at += length;
    }
    path[at] = '\0';
    return CRWReadSmallFile(path, buffer, size);
}

pid_t CRWThreadSelf() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

int32_t CRWThreadListCurrent(pid_t* threads, uint32_t capacity) {
    if (threads == nullptr) return -1;
    const int directory = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return -1;
    alignas(8) char buffer[4096];
    uint32_t count = 0;
    for (;;) {
        const long length = syscall(SYS_getdents64, directory, buffer, sizeof(buffer));
        if (length < 0) {
            close(directory);
            return -1;
        }
        if (length == 0) break;
        for (long offset = 0; offset < length;) {
            const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + offset);
            const pid_t thread = parseThreadId(entry->name);
            if (thread > 0 && count < capacity) threads[count++] = thread;
            offset += entry->length;
        }
    }
    close(directory);
    return static_cast<int32_t>(count);
}

bool CRWThreadBlocksSignal(pid_t thread, int signal) {
    if (thread <= 0 || signal < 1 || signal > 64) return false;
    char text[4096];
    const ssize_t length = CRWThreadReadFile(thread, "status", text, sizeof(text));
    if (length <= 0) return false;
    uint64_t blocked = 0;
    if (!statusMask(text, static_cast<size_t>(length), "SigBlk:", &blocked)) return false;
    return ((blocked >> (signal - 1)) & 1) != 0;
}

int CRWThreadStopperSignal() {
    // Above the ones the C library keeps for itself.
    return SIGRTMIN + 3;
}

bool CRWThreadStopperInstall() {
    if (installed.load()) return true;
    CRWThreadTracerPrepare();
    struct sigaction action {};
    action.sa_sigaction = stopHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    // A stopped thread takes no fatal signal sent from outside: in the crash handler it would wait
    // for the recording that holds it stopped. The signal waits until the threads are released.
    sigemptyset(&action.sa_mask);
    for (int fatal : CRWFatalSignals)
        sigaddset(&action.sa_mask, fatal);
    struct sigaction previous {};
    if (sigaction(CRWThreadStopperSignal(), &action, &previous) != 0) return false;
    bool expected = false;
    if (installed.compare_exchange_strong(expected, true)) previousAction = previous;
    return true;
}

CRWThreadStopWaits CRWThreadStopperCrashWaits() {
    return {crashAnswerMilliseconds.load(), crashReaderStopMilliseconds.load(),
            crashReaderMilliseconds.load()};
}

void CRWThreadStopperSetCrashWaitsForTesting(CRWThreadStopWaits waits) {
    crashAnswerMilliseconds.store(waits.answerMilliseconds);
    crashReaderStopMilliseconds.store(waits.readerStopMilliseconds);
    crashReaderMilliseconds.store(waits.readerMilliseconds);
}

bool CRWThreadStopperStop(const pid_t* threads, uint32_t count, CRWThreadStopWaits waits) {
    if (threads == nullptr || !CRWThreadStopperInstall()) return false;
    const pid_t self = CRWThreadSelf();
    // One session at a time: a second recorder (another thread failing at once) waits its turn.
    const int64_t ownerDeadline = CRWMonotonicNanoseconds() + kReleaseTimeoutNanoseconds;
    for (pid_t expected = 0; !sessionOwner.compare_exchange_strong(expected, self); expected = 0) {
        if (expected == self || CRWMonotonicNanoseconds() > ownerDeadline) return false;
        struct timespec pause {
            0, 1'000'000
        };
        nanosleep(&pause, nullptr);
    }

    const uint32_t used = count < CRWMaxRecordedThreads ? count : CRWMaxRecordedThreads;
    for (uint32_t i = 0; i < used; ++i) {
        slots[i].state.store(Idle);
        slots[i].failure.store(CRWThreadReadFailureNone);
        slots[i].waited = 0;
        slots[i].due = 0;
        slots[i].tid.store(threads[i]);
    }
    slotCount.store(used);
    const pid_t process = getpid();
    const int signal = CRWThreadStopperSignal();
    for (uint32_t i = 0; i < used; ++i) {
        // A thread that blocks the signal would only keep everyone waiting for its answer.
        if (threads[i] == self || CRWThreadBlocksSignal(threads[i], signal)) continue;
        slots[i].state.store(Requested);
        if (syscall(SYS_tgkill, process, threads[i], signal) != 0) {
            slots[i].state.store(Idle);
            slots[i].failure.store(CRWThreadReadFailureExited);
        }
    }
    const int64_t asked = CRWMonotonicNanoseconds();
    const int64_t answerWait = int64_t{waits.answerMilliseconds} * 1'000'000;
    const int64_t deadline = asked + answerWait;
    bool allStopped = true;
    // The threads left to the reader: on this handler's stack, as the thread list is.
    pid_t unanswered[CRWMaxRecordedThreads];
    uint32_t unansweredCount = 0;
    for (uint32_t i = 0; i < used; ++i) {
        if (threads[i] == self) continue;
        for (uint32_t state = slots[i].state.load(); state == Requested || state == Capturing;
             state = slots[i].state.load()) {
            const int64_t remaining = deadline - CRWMonotonicNanoseconds();
            if (remaining <= 0) break;
            futexWait(&slots[i].state, state, remaining);
        }
        // A request still unanswered is withdrawn first, so that a late answer cannot stop the
        // thread again while the reader holds it.
        uint32_t expected = Requested;
        slots[i].state.compare_exchange_strong(expected, Idle);
        const uint32_t state = slots[i].state.load();
        if (state == Stopped) continue;
        if (state == Idle && slots[i].failure.load() == CRWThreadReadFailureNone) {
            unanswered[unansweredCount++] = threads[i];
            continue;
        }
        allStopped = false;
        // Caught in the middle of its answer: the reader must not stop it as well. It is read yet
        // if it has stopped by the time it is recorded.
        if (state == Capturing) {
            slots[i].waited = CRWMonotonicNanoseconds() - asked;
            slots[i].due = answerWait;
            slots[i].failure.store(CRWThreadReadFailureNoStop);
        }
    }
    if (!CRWThreadTracerAttach(unanswered, unansweredCount, waits.readerStopMilliseconds,
                               waits.readerMilliseconds))
        allStopped = false;
    return allStopped;
}

bool CRWThreadStopperGetContext(pid_t thread, CRWThreadContext* context) {
    if (!CRWIsValidPointer(context) || sessionOwner.load() == 0) return false;
    StopSlot* slot = slotOf(thread);
    if (slot == nullptr) return false;
    if (slot->state.load() != Stopped) return CRWThreadTracerGetContext(thread, context);
    memcpy(context, &slot->context, sizeof(*context));
    return true;
}

bool CRWThreadStopperIsStopped(pid_t thread) {
    return CRWThreadStopperFailure(thread) == CRWThreadReadFailureNone;
}

CRWThreadReadFailure CRWThreadStopperFailure(pid_t thread, CRWThreadWait* wait) {
    if (wait != nullptr) *wait = CRWThreadWait{0, 0};
    if (sessionOwner.load() == 0) return CRWThreadReadFailureNotAsked;
    StopSlot* slot = slotOf(thread);
    if (slot == nullptr || thread == sessionOwner.load()) return CRWThreadReadFailureNotAsked;
    if (slot->state.load() == Stopped) return CRWThreadReadFailureNone;
    const auto failure = static_cast<CRWThreadReadFailure>(slot->failure.load());
    if (failure == CRWThreadReadFailureNone) return CRWThreadTracerFailure(thread, wait);
    if (wait != nullptr) *wait = CRWThreadWait{slot->waited, slot->due};
    return failure;
}

bool CRWThreadStopperResume() {
    if (sessionOwner.load() != CRWThreadSelf()) return false;
    const uint32_t count = slotCount.load();
    for (uint32_t i = 0; i < count; ++i) {
        // A thread that has not answered yet must not stop after the session: it will find its
        // slot no longer requested. Stopped (or stopping) threads are released.
        uint32_t expected = Requested;
        if (slots[i].state.compare_exchange_strong(expected, Idle)) continue;
        expected = Stopped;
        if (!slots[i].state.compare_exchange_strong(expected, Released)) {
            expected = Capturing;
            slots[i].state.compare_exchange_strong(expected, Released);
        }
        futexWakeAll(&slots[i].state);
    }
    bool allLeft = CRWThreadTracerRelease();
    const int64_t deadline = CRWMonotonicNanoseconds() + kLeaveTimeoutNanoseconds;
    for (uint32_t i = 0; i < count; ++i)
        if (!waitWhile(&slots[i].state, Released, deadline)) allLeft = false;
    slotCount.store(0);
    for (uint32_t i = 0; i < count; ++i) {
        slots[i].tid.store(0);
        slots[i].state.store(Idle);
        slots[i].failure.store(CRWThreadReadFailureNone);
        slots[i].waited = 0;
        slots[i].due = 0;
    }
    sessionOwner.store(0);
    return allLeft;
}
