// Runs at crash time. Fatal-signal handlers, their installation and their restoration.
#include "crash/capture/CRWSignal.h"

#include "crash/capture/CRWHandler.h"
#include "crash/capture/CRWThreadStopper.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWMemory.h"
#include "crash/record/CRWMonotonicClock.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/dispatch/DispatchThreads.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The calling thread's own alternate stack (mapping with its guard page), when crash capture gave
// it one.
thread_local void* threadStack = nullptr;
constexpr size_t kGuardSize = 4096;

// The one thread recording a crash through this handler (0 before any), and whether it has
// finished: its records are closed and the previous handlers are back.
std::atomic<pid_t> recordingThread{0};
std::atomic<bool> recordingFinished{false};
// How long another thread that fails meanwhile waits for the recording before it ends the process
// itself: as long as the thread stopper lets a recording hold the threads it stopped. Once the
// recording is done, the recording thread ends the process at once; the other goes on (to the
// previous handler) only if that has not happened a while later.
std::atomic<int64_t> recordingWaitNanoseconds{10'000'000'000};
constexpr int64_t kAfterRecordingWaitNanoseconds = 1'000'000'000;

void setDefaultAction(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    if (sigaction(signal, &action, nullptr) != 0)
        CRWSDKLogWarnIn("CRWSignalSafeRemoveHandlers_block_invoke",
                        "Unable to set default handler for %d (%s)\n", signal, CRWErrnoName(errno));
}

// Every handled signal, for the mask the handler runs under.
void addFatalSignals(sigset_t* set) {
    for (int signal : CRWFatalSignals)
        sigaddset(set, signal);
}

// A signal that another process sent (kill, sigqueue); not a fault of this process.
bool sentFromOutside(const siginfo_t* info) {
    return CRWIsValidPointer(info) && info->si_code <= 0 && info->si_pid != getpid();
}

void pauseOneMillisecond() {
    struct timespec pause {
        0, 1'000'000
    };
    nanosleep(&pause, nullptr);
}

// A second thread that fails while another records: it waits (bounded) until the recording is
// done, being stopped and recorded meanwhile like every other thread, and then for the process to
// end. False when the recording did not end in time.
bool waitForRecording() {
    const int64_t deadline = CRWMonotonicNanoseconds() + recordingWaitNanoseconds.load();
    while (!recordingFinished.load()) {
        if (CRWMonotonicNanoseconds() > deadline) return false;
        pauseOneMillisecond();
    }
    const int64_t ending = CRWMonotonicNanoseconds() + kAfterRecordingWaitNanoseconds;
    while (CRWMonotonicNanoseconds() < ending)
        pauseOneMillisecond();
    return true;
}

bool isRealFunction(const struct sigaction& action) {
    if ((action.sa_flags & SA_SIGINFO) != 0) return action.sa_sigaction != nullptr;
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN && action.sa_handler != nullptr;
}

void writeSignalSection(CRWFile* file, int signal, const siginfo_t* info, int savedErrno) {
    CRWFileWriteSectionStart(file, "signal");
    CRWFileWriteHashStart(file);
    if (CRWIsValidPointer(info)) {
        CRWFileWriteHashEntryUint64(file, "number", static_cast<uint64_t>(info->si_signo));
        // Codes from kill, tgkill, sigqueue and the like are negative.
        CRWFileWriteHashEntryInt64(file, "code", info->si_code);
        // Only a fault the kernel raised has an address; for kill, raise and the like the same
        // bytes hold the sender's pid and uid.
        const uintptr_t address = info->si_code > 0 ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
        CRWFileWriteHashEntryUint64(file, "address", address);
        CRWFileWriteHashEntryString(file, "name", CRWSignalNameLookup(info->si_signo));
        CRWFileWriteHashEntryString(file, "code_name", CRWSignalCodeNameLookup(signal, info->si_code));
    }
    CRWFileWriteHashEntryUint64(file, "errno", static_cast<uint64_t>(savedErrno));
    CRWFileWriteHashEntryUint64(file, "time", static_cast<uint64_t>(time(nullptr)));
    CRWFileWriteHashEnd(file);
    CRWFileWriteSectionEnd(file);
}

// The process must end by `signal`, which will not come back by itself: raise it again under the
// default action. The handler blocks it, so it is delivered as soon as the handler returns.
void raiseWithDefaultAction(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    syscall(SYS_tgkill, getpid(), CRWThreadSelf(), signal);
}

} // namespace

const char* CRWSignalNameLookup(int signal) {
    switch (signal) {
    case SIGILL:
        return "SIGILL";
    case SIGTRAP:
        return "SIGTRAP";
    case SIGABRT:
        return "SIGABRT";
    case SIGFPE:
        return "SIGFPE";
    case SIGBUS:
        return "SIGBUS";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGSYS:
        return "SIGSYS";
    default:
        return "UNKNOWN";
    }
}

const char* CRWSignalCodeNameLookup(int signal, int) {
    return signal == SIGABRT ? "ABORT" : nullptr;
}

bool CRWSignalInstallAltStack(CRWSignalPart* part) {
    CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (!CRWIsValidPointer(part) || !CRWIsValidPointer(readonly) || !CRWIsValidPointer(readonly->signalStack))
        return false;
    stack_t stack{};
    stack.ss_sp = readonly->signalStack;
    stack.ss_size = CRWContextStackSize;
    stack.ss_flags = 0;
    stack_t previous{};
    if (sigaltstack(&stack, &previous) != 0) {
        CRWSDKLogWarnIn("CRWSignalInstallAltStack", "Unable to setup stack %s\n", CRWErrnoName(errno));
        memset(&part->originalStack, 0, sizeof(part->originalStack));
        return false;
    }
    // Only a stack that was really installed is worth putting back.
    if ((previous.ss_flags & SS_DISABLE) != 0 || previous.ss_sp == nullptr)
        memset(&part->originalStack, 0, sizeof(part->originalStack));
    else
        part->originalStack = previous;
    part->originalStackThread = CRWThreadSelf();
    return true;
}

void CRWSignalInitialize(CRWSignalPart* part) {
    if (!CRWIsValidPointer(part)) return;
    if (!CRWUnlinkIfExists(part->path))
        CRWSDKLogWarn("Unable to reset the signal log file %s\n", CRWErrnoName(errno));
    for (size_t i = 0; i < CRWFatalSignalCount; ++i) {
        struct sigaction action {};
        action.sa_sigaction = CRWSignalHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        // While the handler runs, the fatal signals wait: one sent from outside goes to another
        // thread (which waits for the recording) instead of ending the recording thread, and a
        // fault of the handler itself ends the process, as the kernel does with a blocked fault.
        sigemptyset(&action.sa_mask);
        addFatalSignals(&action.sa_mask);
        struct sigaction previous {};
        if (sigaction(CRWFatalSignals[i], &action, &previous) != 0) {
            CRWSDKLogWarnIn("CRWSignalInstallHandlers_block_invoke",
                            "Unable to install handler for %d (%s)\n", CRWFatalSignals[i],
                            CRWErrnoName(errno));
            continue;
        }
        memset(&part->originalActions[i], 0, sizeof(part->originalActions[i]));
        if (isRealFunction(previous)) part->originalActions[i] = previous;
    }
    CRWThreadStopperInstall();
    plat::setDispatchThreadHooks({CRWSignalThreadStarted, CRWSignalThreadFinished});
}

void CRWSignalSafeRemoveHandlers(bool includingAbort) {
    for (size_t i = 0; i < CRWFatalSignalCount; ++i) {
        if (CRWFatalSignals[i] == SIGABRT && !includingAbort) continue;
        setDefaultAction(CRWFatalSignals[i]);
    }
}

bool CRWSignalSafeInstallPreexistingHandlers(const CRWSignalPart* part, int signal, siginfo_t* info,
                                             void* userContext) {
    bool result = true;
    if (!CRWIsValidPointer(part)) {
        CRWSignalSafeRemoveHandlers(true);
        return false;
    }

    // The saved stack belongs to the thread it was saved from, and a thread running on its
    // alternate stack cannot change it; elsewhere putting it back would hand one stack to two
    // threads or fail and leave every handler unrestored.
    stack_t current{};
    const bool onAltStack = sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK) != 0;
    if (part->originalStack.ss_sp != nullptr && part->originalStackThread == CRWThreadSelf() && !onAltStack) {
        if (sigaltstack(&part->originalStack, nullptr) != 0) {
            CRWSDKLogWarn("Unable to setup stack %s\n", CRWErrnoName(errno));
            result = false;
        }
    }

    // Each signal goes straight to its previous action: a signal from outside that comes meanwhile
    // must not find the default action in place of a previous handler.
    for (size_t i = 0; i < CRWFatalSignalCount; ++i) {
        const struct sigaction& previous = part->originalActions[i];
        if (!isRealFunction(previous)) {
            setDefaultAction(CRWFatalSignals[i]);
            continue;
        }
        if (sigaction(CRWFatalSignals[i], &previous, nullptr) != 0) {
            CRWSDKLogWarnIn("CRWSignalSafeInstallPreexistingHandlers_block_invoke",
                            "Unable to install handler for %d (%s)\n", CRWFatalSignals[i],
                            CRWErrnoName(errno));
            result = false;
        }
        if (signal < 0 || signal != CRWFatalSignals[i] || !isRealFunction(previous)) continue;
        if ((previous.sa_flags & SA_SIGINFO) != 0)
            previous.sa_sigaction(signal, info, userContext);
        else
            previous.sa_handler(signal);
    }
    return result;
}

bool CRWSignalRepeatsOnReturn(int signal, const siginfo_t* info) {
    if (signal != SIGSEGV && signal != SIGBUS && signal != SIGILL && signal != SIGFPE) return false;
    // Codes of zero and below come from kill, raise, sigqueue and the like.
    return CRWIsValidPointer(info) && info->si_code > 0;
}

void CRWSignalHandler(int signal, siginfo_t* info, void* userContext) {
    const int savedErrno = errno;
    errno = 0;
    CRWSDKLogWarn("Signal: %d\n", signal);
    if (!CRWIsValidPointer(userContext)) userContext = nullptr;
    siginfo_t* validInfo = CRWIsValidPointer(info) ? info : nullptr;

    const pid_t self = CRWThreadSelf();
    pid_t recorder = 0;
    if (!recordingThread.compare_exchange_strong(recorder, self)) {
        if (recorder == self) {
            // Only a signal the handler let through itself reaches it here (abort unblocks
            // SIGABRT): from outside it is ignored, from this process it ends it.
            if (sentFromOutside(validInfo)) {
                errno = savedErrno;
                return;
            }
            CRWSignalSafeRemoveHandlers(true);
        } else if (!waitForRecording()) {
            // The recording is stuck: this thread's own signal ends the process, as it would
            // without crash reporting.
            CRWSDKLogWarnIn("CRWSignalRecordSignal", "Error: the crash recording did not end in time\n");
            setDefaultAction(signal);
        }
        // The crash is recorded and the previous handlers are back (or the recording is given up
        // and this signal's default action is in place): this signal goes on to them as if this
        // handler had never been there.
        if (!CRWSignalRepeatsOnReturn(signal, validInfo)) syscall(SYS_tgkill, getpid(), self, signal);
        errno = savedErrno;
        return;
    }

    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    if (CRWIsValidPointer(readonly)) {
        if (CRWContextMarkAndCheckIfCrashed()) {
            CRWSDKLogWarnIn("CRWSignalRecordSignal",
                            "Error: aborting signal handler because crash has already occurred");
            _exit(1);
        }
        CRWFile file;
        if (!CRWFileInitInFolder(&file, &readonly->reportFolder, CRWReportSignalFile, true)) {
            const int error = errno;
            CRWSDKLogWarnIn("CRWSignalRecordSignal", "Unable to open signal file\n");
            CRWCreateCrashedMarkerFileNotingLostRecord(CRWReportSignalFile, error);
        } else {
            writeSignalSection(&file, signal, validInfo, savedErrno);
            CRWHandler(&file, self, userContext);
        }
        CRWSignalSafeInstallPreexistingHandlers(&readonly->signal, signal, validInfo, userContext);
    } else {
        CRWSignalSafeRemoveHandlers(true);
    }
    recordingFinished.store(true);
    if (!CRWSignalRepeatsOnReturn(signal, validInfo)) raiseWithDefaultAction(signal);
    errno = savedErrno;
}

void CRWSignalSetRecordingWaitForTesting(int64_t nanoseconds) {
    recordingWaitNanoseconds.store(nanoseconds);
}

void CRWSignalThreadStarted() {
    if (threadStack != nullptr) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
    void* mapping = mmap(nullptr, CRWSignalThreadStackSize + kGuardSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return;
    // The guard page below the stack: an overflow of the handler faults instead of writing on.
    mprotect(mapping, kGuardSize, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + kGuardSize;
    stack.ss_size = CRWSignalThreadStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(mapping, CRWSignalThreadStackSize + kGuardSize);
        return;
    }
    threadStack = mapping;
}

void CRWSignalThreadFinished() {
    if (threadStack == nullptr) return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    if (sigaltstack(&disable, nullptr) != 0) return;
    munmap(threadStack, CRWSignalThreadStackSize + kGuardSize);
    threadStack = nullptr;
}
