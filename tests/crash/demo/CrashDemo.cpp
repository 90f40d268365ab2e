// crash-demo: a small program that sets up crash reporting for a report folder and then crashes in
// the way its first argument names, so that tests (and anyone wanting a real report folder) can
// drive real crashes in a child process.
//
//   crash-demo <mode> <report-folder> [--threads N] [--deaf-threads N] [--spinning-thread]
//              [--traced-thread] [--stuck-thread] [--previous-handler] [--count-allocations]
//              [--stuck-previous-handler] [--recording-wait-ms N] [--ending-threads N]
//
//   crash-demo symbolicate <report-folder>
//
// Modes: segv, abort, exception, exception-string, queue-exception (a queued block throws), trap,
// worker (a dispatch worker crashes while eight threads sleep), overflow (unbounded recursion on
// the main thread), overflow-worker (the same on a dispatch worker), dlopen (a crash inside a
// library loaded at run time), nested-dlopen (a library loaded with plain dlopen loads a second,
// frame-pointer-less one the same way, which crashes three calls deep; see DemoFrameless.cpp for
// what it prints), wait-for-kill (waits for a signal from outside), mach (a simulated bad-access
// exception, then the real fault), log-then-segv (a log line and a key, then a fault), second-crash
// (a fault while a crash is already being recorded), two-faults (two threads, "faulter-0" and
// "faulter-1", fault at the same moment; with --stuck-previous-handler faulter-1 faults once the
// crash of faulter-0 is being recorded), kill-twice (another process sends SIGSEGV twice, 1 to 5 ms
// apart), entry-fault (a thread calls a function of the loaded library that faults on its first
// instruction, while another waits inside a signal handler: in crashDemoInHandler, called by the
// signal that crashDemoSignalMyself sent).
//
// --deaf-threads N starts N threads ("deaf-<i>") that block every signal, the stop signal of crash
// recording included, and wait in frames of their own: asleep in crashDemoDeafSleep (even i) or
// blocked in a read inside crashDemoDeafReadInner inside crashDemoDeafReadOuter (odd i).
// --spinning-thread adds such a thread that never waits ("deaf-spin", in crashDemoDeafSpin), and
// --traced-thread one ("deaf-traced", asleep) that a second process holds traced, so that crash
// recording cannot read it from outside, and --stuck-thread one ("deaf-stuck") that waits in the
// kernel where nothing but a fatal signal reaches it: for a vfork child that waits until this
// process has ended. --ending-threads N starts N threads ("ending-<i>") that block every signal
// and end as the crash comes, thread i about i quarter milliseconds after it: some of them the
// crash path lists and then finds gone, as it finds idle workers of the thread pool that time out.
//
// Standard output, before the crash: "image <path> <hex base>" for the executable (and the library
// in dlopen and entry-fault modes), then "ready". With --previous-handler a handler installed
// before crash reporting, and so chained by it, prints "previous <signal> allocations <n>
// nanoseconds <t>" (the allocations counted, with --count-allocations, and the time since just
// before the crash), then "alive <tid> <tid> ..." (the threads of the process then, the recording
// over) and lets the signal end the process; with --stuck-previous-handler it never
// returns, so the recording never ends. What is counted is every allocation the crash path makes:
// on the crashing thread, on every thread while it runs a handler of crash reporting (a second
// failing thread, a thread held stopped) and in the reader that shares the crashing thread's
// memory, and nothing that other threads do meanwhile. --recording-wait-ms N sets how long a second
// failing thread waits for the recording.
//
// The symbolicate mode does what the launch after a crash does with that crash's folder: with the
// demo library loaded, as in the crashed run, it writes the ".symbolicated" copy of each crash file
// and prints "symbolicated <file>" for each, then "unreadable <file>" for each record it could not
// read whole.
#include "crash/capture/CRWCaptureStartup.h"
#include "crash/capture/CRWSignal.h"
#include "crash/capture/CRWThreadStopper.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/image/CRWBinaryImage.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitData.h"
#include "crash/report/CRWProcessReportOperation.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dyld/Dyld.h"
#include "platform/mach/MachException.h"
#include "tests/crash/support/CountingAllocator.h"
#include "tests/support/ThreadState.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

bool countAllocations = false;
std::atomic<int64_t> crashStart{0};
// An address in the first page, which is never mapped (a null pointer would be caught by the
// undefined-behaviour checks of sanitised builds before it could fault).
volatile uintptr_t nowhereAddress = 16;
volatile int keepRecursing = 1;
volatile uint64_t spinLaps = 0;
// The read end of a pipe nobody writes to.
int silentPipe = -1;
// The stuck thread's vfork child waits on the read end until this process has ended and no one
// holds the write end any more.
int stuckPipe[2] = {-1, -1};
std::atomic<int> deafReady{0};
// The thread that waits for its vfork child, once it has started.
std::atomic<pid_t> stuckThread{0};
std::atomic<int> sleepersNamed{0};
std::atomic<int> endingReady{0};
// Set just before the crash: the ending threads end.
std::atomic<bool> crashComing{false};

int64_t monotonicNanoseconds() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Async-signal-safe building of a line of a few words and numbers, written at once (so that two
// threads' lines do not interleave).
struct Line {
    char text[128];
    size_t length = 0;
    void add(const char* words) {
        for (; *words != '\0' && length < sizeof(text); ++words)
            text[length++] = *words;
    }
    void add(uint64_t value) {
        char digits[24];
        int at = sizeof(digits);
        digits[--at] = '\0';
        do {
            digits[--at] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        add(digits + at);
    }
};

// Writes "alive" and the id of every thread of the process, from its task folder, as one line.
void printAliveThreads() {
    char text[8192];
    size_t length = 0;
    const auto add = [&](const char* words) {
        for (; *words != '\0' && length < sizeof(text) - 1; ++words)
            text[length++] = *words;
    };
    add("alive");
    const int folder = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    alignas(8) char entries[4096];
    for (long count; (count = syscall(SYS_getdents64, folder, entries, sizeof(entries))) > 0;) {
        for (long at = 0; at < count;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(entries + at);
            at += entry->d_reclen;
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
            add(" ");
            add(entry->d_name);
        }
    }
    close(folder);
    add("\n");
    (void)!write(STDOUT_FILENO, text, length);
}

void previousHandler(int signal, siginfo_t*, void*) {
    const int64_t elapsed = monotonicNanoseconds() - crashStart.load();
    const crashtest::AllocationCounts counts = crashtest::stopCountingAllocations();
    Line line;
    line.add("previous ");
    line.add(static_cast<uint64_t>(signal));
    line.add(" allocations ");
    line.add(counts.total());
    line.add(" nanoseconds ");
    line.add(static_cast<uint64_t>(elapsed));
    line.add("\n");
    (void)!write(STDOUT_FILENO, line.text, line.length);
    printAliveThreads();
    // As a well-behaved chained handler: step aside so the signal ends the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
}

// Crash reporting's handler of SIGSEGV, once installed, and the thread that faults while a crash
// is being recorded (for the stuck previous handler).
std::atomic<void (*)(int, siginfo_t*, void*)> crashReportingHandler{nullptr};
std::atomic<pid_t> faultingDuringRecording{0};

// A previous handler that never returns: the recording that chains to it never ends. The second
// fault may come only after the recording handed the signals back to the handlers it found, when
// this one is in place: that fault goes to crash reporting's handler all the same, as it would
// have a moment earlier.
void stuckPreviousHandler(int signal, siginfo_t* info, void* context) {
    const auto handler = crashReportingHandler.load();
    if (handler != nullptr && faultingDuringRecording.load() == gettid()) {
        handler(signal, info, context);
        return;
    }
    for (;;)
        pause();
}

void installPreviousHandler(bool stuck) {
    struct sigaction action {};
    action.sa_sigaction = stuck ? stuckPreviousHandler : previousHandler;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGABRT, SIGTRAP, SIGBUS, SIGILL, SIGFPE})
        sigaction(signal, &action, nullptr);
}

void printImage(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return;
    std::string path = info.dli_fname;
    if (path.empty() || path.find('/') == std::string::npos)
        path = std::filesystem::read_symlink("/proc/self/exe");
    std::printf("image %s %lx\n", path.c_str(), reinterpret_cast<unsigned long>(info.dli_fbase));
}

bool startCrashReporting(const std::string& folder) {
    std::filesystem::create_directories(folder);
    CRWContextInitData data;
    data.setRootPath(folder);
    data.setPreviouslyCrashedFileRootPath(std::filesystem::path(folder).parent_path().string());
    data.setSessionId("demo");
    data.setErrorsEnabled(true);
    data.setCustomExceptionsEnabled(true);
    data.setMaxCustomExceptions(8);
    data.setMaxLogSize(65536);
    data.setMaxKeyValues(64);
    CRWBinaryImageInstallStartupHooks();
    CRWContextStartupHooks hooks = CRWCaptureStartupHooks(CRWContextCurrentStartupHooks());
    hooks.debuggerAttached = [] { return false; };
    CRWContextSetStartupHooks(hooks);
    if (!CRWContextInitialize(&data)) return false;
    testsupport::waitUntil([] { return CRWContextIsInitialized(); });
    if (!CRWContextIsInitialized()) return false;
    // The image table, which the unwinder reads, is filled on its own queue.
    CRWBinaryImageQueue().sync([] {});
    return true;
}

int symbolicateReport(const std::string& folder) {
    for (const char* path : {CRASH_DEMO_LIBRARY_PATH, CRASH_DEMO_LOADER_PATH, CRASH_DEMO_FRAMELESS_PATH}) {
        if (dlopen(path, RTLD_NOW) == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", path);
            return 4;
        }
    }
    auto report = CRWInternalReport::initWithPath(folder, "demo");
    CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
    operation.start();
    for (const std::string& file : operation.symbolicatedFiles())
        std::printf("symbolicated %s\n", file.c_str());
    for (const CRWUnreadableRecord& record : operation.unreadableRecords())
        std::printf("unreadable %s\n", record.fileName.c_str());
    return 0;
}

// Just before the crash: the clock starts and, when asked, the allocations are counted (on this
// thread, and on every thread while it runs a handler of crash reporting).
void aboutToCrash() {
    std::fflush(stdout);
    crashComing.store(true);
    crashComing.notify_all();
    if (countAllocations) crashtest::startCountingAllocations();
    crashStart.store(monotonicNanoseconds());
}

} // namespace

extern "C" {

// The crashing functions have names of their own so that reports can be checked against them.
__attribute__((noinline)) void crashDemoSegfault() {
    aboutToCrash();
    *reinterpret_cast<volatile int*>(nowhereAddress) = 42;
}

__attribute__((noinline)) void crashDemoAbort() {
    aboutToCrash();
    abort();
}

__attribute__((noinline)) void crashDemoThrow() {
    aboutToCrash();
    throw std::runtime_error("demo failure");
}

// A block on a serial queue throws and nothing catches it: the queue ends the process through
// std::terminate, with the exception still current for the terminate handler.
__attribute__((noinline)) void crashDemoQueueThrow() {
    std::fflush(stdout);
    plat::DispatchQueue::serial("crash-demo.queue").async([] { throw std::runtime_error("queued failure"); });
    for (;;)
        pause();
}

__attribute__((noinline)) void crashDemoThrowString() {
    aboutToCrash();
    throw "demo string";
}

__attribute__((noinline)) void crashDemoTrap() {
    aboutToCrash();
    __asm__ volatile("int3");
}

__attribute__((noinline)) void crashDemoDeafSleep() {
    for (;;) {
        struct timespec interval {
            1, 0
        };
        nanosleep(&interval, nullptr);
    }
}

__attribute__((noinline)) void crashDemoDeafStuck() {
    // The parent of a vfork waits for its child without being interruptible. The child, which
    // runs on this thread's memory, makes system calls only: it waits until the process has ended
    // (a recording that waited for this thread would never end).
    if (vfork() == 0) {
        syscall(SYS_close, STDOUT_FILENO);
        syscall(SYS_close, stuckPipe[1]);
        char byte = 0;
        syscall(SYS_read, stuckPipe[0], &byte, 1);
        _exit(0);
    }
    crashDemoDeafSleep();
}

__attribute__((noinline)) void crashDemoDeafSpin() {
    for (;;)
        spinLaps = spinLaps + 1;
}

__attribute__((noinline)) int crashDemoDeafReadInner() {
    char byte = 0;
    const ssize_t count = read(silentPipe, &byte, 1);
    return static_cast<int>(count) + byte;
}

__attribute__((noinline)) int crashDemoDeafReadOuter() {
    volatile int result = crashDemoDeafReadInner();
    return result + 1;
}

__attribute__((noinline)) int crashDemoOverflow(int depth) {
    volatile char pad[512];
    pad[depth % sizeof(pad)] = static_cast<char>(depth);
    if (!keepRecursing) return pad[0];
    return crashDemoOverflow(depth + 1) + pad[depth % sizeof(pad)];
}

__attribute__((noinline)) void crashDemoWaitForKill() {
    // Said from in here, so a signal sent on it finds this function on the stack.
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

__attribute__((noinline)) void crashDemoMach() {
    aboutToCrash();
    const int64_t codes[2] = {1, 16};
    const plat::mach::KernReturn reply = plat::mach::raiseException(plat::mach::kExcBadAccess, codes, 2);
    std::printf("mach reply %d\n", reply);
    std::fflush(stdout);
    // What the faulting thread does after the reply: it meets the fault again.
    *reinterpret_cast<volatile int*>(nowhereAddress) = 42;
}

// Calls the function on this thread: the frame between the faulting function and the thread's start.
__attribute__((noinline)) void crashDemoCallFromThread(void (*function)()) {
    aboutToCrash();
    function();
    // Not a tail call: this frame stays on the stack.
    std::printf("no fault\n");
}

__attribute__((noinline)) void crashDemoInHandler(int) {
    for (;;)
        pause();
}

__attribute__((noinline)) void crashDemoSignalMyself(std::atomic<bool>* handling) {
    struct sigaction action {};
    action.sa_handler = crashDemoInHandler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    handling->store(true);
    pthread_kill(pthread_self(), SIGUSR1);
    std::printf("handled\n");
}

// Waits for the start and faults: two threads that run this fault within a microsecond or so.
__attribute__((noinline)) void crashDemoFaultTogether(const std::atomic<bool>* start) {
    while (!start->load())
        ;
    *reinterpret_cast<volatile int*>(nowhereAddress) = 42;
}

// Faults once another thread's crash is being recorded. The recording stops every other thread
// before it writes them down, and a thread stopped before its own fault would fault only after the
// recording handed the signals back to the handlers it found: this one blocks the stop signal, so
// that it is left to the outside reader, which comes last, and it looks for the crash often.
__attribute__((noinline)) void crashDemoFaultDuringRecording() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, CRWThreadStopperSignal());
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    const struct timespec moment {
        0, 50'000
    };
    while (!CRWContextHasCrashed())
        nanosleep(&moment, nullptr);
    faultingDuringRecording = gettid();
    *reinterpret_cast<volatile int*>(nowhereAddress) = 42;
}

} // extern "C"

namespace {

// A second process sends SIGSEGV to this one twice, 1 to 5 ms apart, once told to go.
void killTwiceFromOutside() {
    int go[2];
    if (pipe(go) != 0) return;
    const pid_t parent = getpid();
    const long gapMicroseconds = 1000 + monotonicNanoseconds() / 1000 % 4001;
    std::fflush(stdout);
    if (fork() == 0) {
        char byte = 0;
        if (read(go[0], &byte, 1) != 1) _exit(1);
        kill(parent, SIGSEGV);
        struct timespec gap {
            0, gapMicroseconds * 1000
        };
        nanosleep(&gap, nullptr);
        kill(parent, SIGSEGV);
        _exit(0);
    }
    aboutToCrash();
    const char byte = 'g';
    (void)!write(go[1], &byte, 1);
}

// A thread that blocks every signal and waits in the frame its kind names: 0 asleep, 1 reading,
// 2 spinning, 3 stuck.
void deafThread(const std::string& name, int kind) {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), name.c_str());
    if (kind == 3) stuckThread = gettid();
    ++deafReady;
    if (kind == 1)
        for (;;)
            crashDemoDeafReadOuter();
    if (kind == 2) crashDemoDeafSpin();
    if (kind == 3) crashDemoDeafStuck();
    crashDemoDeafSleep();
}

// A thread that blocks every signal and ends `index` quarter milliseconds after the crash comes.
void endingThread(int index) {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), ("ending-" + std::to_string(index)).c_str());
    ++endingReady;
    crashComing.wait(false);
    struct timespec delay {
        0, index * 250'000L
    };
    nanosleep(&delay, nullptr);
}

// A second process that holds `thread` traced (attached, never stopped) until this process ends.
// False when it could not attach.
bool holdTraced(pid_t thread) {
    int go[2], answer[2];
    if (pipe(go) != 0 || pipe(answer) != 0) return false;
    std::fflush(stdout);
    const pid_t tracer = fork();
    if (tracer < 0) return false;
    if (tracer == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The test reads this process's output until it ends; the tracer keeps none of it open.
        close(STDOUT_FILENO);
        char byte = 0;
        if (read(go[0], &byte, 1) != 1) _exit(1);
        byte = ptrace(PTRACE_SEIZE, thread, nullptr, nullptr) == 0 ? 'y' : 'n';
        (void)!write(answer[1], &byte, 1);
        for (;;)
            pause();
    }
    // Under Yama's restricted ptrace the tracer must be named; elsewhere the call fails harmlessly.
    prctl(PR_SET_PTRACER, tracer, 0, 0, 0);
    char byte = 'g';
    if (write(go[1], &byte, 1) != 1 || read(answer[0], &byte, 1) != 1) return false;
    return byte == 'y';
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: crash-demo <mode> <report-folder> [--threads N] [--previous-handler] "
                             "[--count-allocations]\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "symbolicate") return symbolicateReport(argv[2]);
    int sleepers = 0;
    int deaf = 0;
    int ending = 0;
    bool spinning = false;
    bool traced = false;
    bool stuck = false;
    bool previous = false;
    bool stuckPrevious = false;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--threads" && i + 1 < argc) sleepers = std::atoi(argv[++i]);
        if (option == "--deaf-threads" && i + 1 < argc) deaf = std::atoi(argv[++i]);
        if (option == "--ending-threads" && i + 1 < argc) ending = std::atoi(argv[++i]);
        if (option == "--spinning-thread") spinning = true;
        if (option == "--traced-thread") traced = true;
        if (option == "--stuck-thread") stuck = true;
        if (option == "--previous-handler") previous = true;
        if (option == "--stuck-previous-handler") stuckPrevious = true;
        if (option == "--recording-wait-ms" && i + 1 < argc)
            CRWSignalSetRecordingWaitForTesting(int64_t{1'000'000} * std::atoi(argv[++i]));
        if (option == "--count-allocations") countAllocations = true;
    }
    if (mode == "worker") sleepers = sleepers > 0 ? sleepers : 8;
    if (previous || stuckPrevious) installPreviousHandler(stuckPrevious);
    if (!startCrashReporting(argv[2])) {
        std::fprintf(stderr, "crash reporting did not start\n");
        return 3;
    }
    if (stuckPrevious) {
        struct sigaction installed {};
        if (sigaction(SIGSEGV, nullptr, &installed) == 0 && (installed.sa_flags & SA_SIGINFO) != 0)
            crashReportingHandler = installed.sa_sigaction;
    }

    std::vector<std::thread> threads;
    for (int i = 0; i < sleepers; ++i) {
        threads.emplace_back([i] {
            {
                const std::string name = "sleeper-" + std::to_string(i);
                pthread_setname_np(pthread_self(), name.c_str());
            }
            ++sleepersNamed;
            for (;;)
                pause();
        });
    }
    int silent[2];
    if (pipe(silent) == 0) silentPipe = silent[0];
    if (stuck && pipe(stuckPipe) != 0) return 7;
    for (int i = 0; i < deaf; ++i)
        threads.emplace_back(deafThread, "deaf-" + std::to_string(i), i % 2);
    if (spinning) threads.emplace_back(deafThread, "deaf-spin", 2);
    if (stuck) threads.emplace_back(deafThread, "deaf-stuck", 3);
    for (int i = 0; i < ending; ++i)
        threads.emplace_back(endingThread, i);
    std::atomic<pid_t> tracedThread{0};
    if (traced) {
        threads.emplace_back([&tracedThread] {
            tracedThread = gettid();
            deafThread("deaf-traced", 0);
        });
    }
    // Every thread has named itself (the report lists them by name) before the crash.
    while (sleepersNamed.load() < sleepers || endingReady.load() < ending ||
           deafReady.load() < deaf + (spinning ? 1 : 0) + (traced ? 1 : 0) + (stuck ? 1 : 0))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The stuck thread is stuck only once it waits in its vfork.
    if (stuck && !testsupport::waitUntilBlockedIn(stuckThread.load(), {SYS_vfork})) {
        std::fprintf(stderr, "the stuck thread does not wait for its child\n");
        return 8;
    }
    if (traced && !holdTraced(tracedThread.load())) {
        std::fprintf(stderr, "cannot trace the thread\n");
        return 6;
    }

    printImage(reinterpret_cast<const void*>(&crashDemoSegfault));
    void* library = nullptr;
    using LibraryCrash = void (*)();
    LibraryCrash libraryCrash = nullptr;
    if (mode == "dlopen" || mode == "entry-fault") {
        // Through the linker stand-in's own call.
        library = plat::dyld::open(CRASH_DEMO_LIBRARY_PATH, RTLD_NOW);
        const char* symbol = mode == "dlopen" ? "crashDemoLibraryCrash" : "crashDemoLibraryFaultAtEntry";
        libraryCrash = library ? reinterpret_cast<LibraryCrash>(dlsym(library, symbol)) : nullptr;
        if (libraryCrash == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", CRASH_DEMO_LIBRARY_PATH);
            return 4;
        }
        printImage(reinterpret_cast<const void*>(libraryCrash));
        CRWBinaryImageQueue().sync([] {});
    }
    using LoaderRun = int (*)(const char*);
    LoaderRun loaderRun = nullptr;
    if (mode == "nested-dlopen") {
        // The system's own dlopen: nothing tells the crash reporter of this load but the linker.
        void* loader = dlopen(CRASH_DEMO_LOADER_PATH, RTLD_NOW);
        loaderRun = loader ? reinterpret_cast<LoaderRun>(dlsym(loader, "crashDemoLoaderRun")) : nullptr;
        if (loaderRun == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", CRASH_DEMO_LOADER_PATH);
            return 4;
        }
        printImage(reinterpret_cast<const void*>(loaderRun));
    }
    // The crash path's handlers, of the fatal signals and of the stop signal, count on whatever
    // thread they run.
    if (countAllocations) {
        for (int signal : CRWFatalSignals)
            crashtest::countInHandlersOf({signal});
        crashtest::countInHandlersOf({CRWThreadStopperSignal()});
    }
    if (mode != "wait-for-kill") {
        std::printf("ready\n");
        std::fflush(stdout);
    }

    if (mode == "segv") crashDemoSegfault();
    if (mode == "abort") crashDemoAbort();
    if (mode == "exception") crashDemoThrow();
    if (mode == "exception-string") crashDemoThrowString();
    if (mode == "queue-exception") crashDemoQueueThrow();
    if (mode == "trap") crashDemoTrap();
    if (mode == "wait-for-kill") crashDemoWaitForKill();
    if (mode == "mach") crashDemoMach();
    if (mode == "dlopen") {
        aboutToCrash();
        libraryCrash();
    }
    if (mode == "entry-fault") {
        std::atomic<bool> handling{false};
        threads.emplace_back(crashDemoSignalMyself, &handling);
        while (!handling.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        threads.emplace_back(crashDemoCallFromThread, libraryCrash);
        for (;;)
            pause();
    }
    if (mode == "nested-dlopen") {
        aboutToCrash();
        const int result = loaderRun(CRASH_DEMO_FRAMELESS_PATH);
        std::fprintf(stderr, "the nested library did not crash: %d (%s)\n", result, dlerror());
        return 5;
    }
    if (mode == "overflow") {
        aboutToCrash();
        crashDemoOverflow(0);
    }
    if (mode == "second-crash") {
        // As if another thread had started recording a crash a moment ago.
        CRWContextMarkAndCheckIfCrashed();
        crashDemoSegfault();
    }
    if (mode == "two-faults") {
        std::atomic<bool> start{false};
        std::atomic<int> named{0};
        for (int i = 0; i < 2; ++i)
            threads.emplace_back([i, &start, &named, stuckPrevious] {
                pthread_setname_np(pthread_self(), ("faulter-" + std::to_string(i)).c_str());
                ++named;
                // A recording that never ends must find the second fault already on its way.
                if (stuckPrevious && i == 1) crashDemoFaultDuringRecording();
                crashDemoFaultTogether(&start);
            });
        while (named.load() < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        aboutToCrash();
        start.store(true);
        for (;;)
            pause();
    }
    if (mode == "kill-twice") {
        killTwiceFromOutside();
        for (;;)
            pause();
    }
    if (mode == "log-then-segv") {
        CRWLog("the last words before the crash %d", 7);
        CRWUserLoggingRecordUserKeyValue("stage", plat::Object("just before the crash"));
        crashDemoSegfault();
    }
    if (mode == "worker" || mode == "overflow-worker") {
        const auto queue = plat::DispatchQueue::serial("demo.worker");
        queue.async([mode] {
            if (mode == "worker") crashDemoSegfault();
            aboutToCrash();
            crashDemoOverflow(0);
        });
        for (;;)
            pause();
    }
    std::fprintf(stderr, "unknown mode or no crash: %s\n", mode.c_str());
    return 5;
}
