// Thread recording in this process: the thread list, stopping and releasing threads (by the stop
// signal and, for threads that block it, from outside), the sections of the common crash path, the
// folding of a recursion, crash annotations and bounded string copies, all with the interposed
// counting allocator watching the crash path.
#include "crash/capture/CRWHandler.h"
#include "crash/capture/CRWProcess.h"
#include "crash/capture/CRWSafeString.h"
#include "crash/capture/CRWSignal.h"
#include "crash/record/CRWContext.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchThreads.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/crash/support/CountingAllocator.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using capturetest::CaptureContext;
using capturetest::PatientCrashWaits;
namespace fs = std::filesystem;

// Threads that wait until told to finish, counting their laps; the last one may block every signal,
// the stop signal included, so that only the ptrace reader can stop it.
class Sleepers {
public:
    explicit Sleepers(int count, bool oneDeaf = false) {
        for (int i = 0; i < count; ++i) {
            threads_.emplace_back([this, i, deaf = oneDeaf && i == count - 1] {
                if (deaf) {
                    sigset_t all;
                    sigfillset(&all);
                    pthread_sigmask(SIG_BLOCK, &all, nullptr);
                }
                const std::string name = (deaf ? "deaf-" : "sleeper-") + std::to_string(i);
                pthread_setname_np(pthread_self(), name.c_str());
                tids_[i] = gettid();
                ++ready_;
                while (!finish_.load()) {
                    ++laps_[i];
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        }
        while (ready_.load() != count)
            std::this_thread::yield();
    }
    ~Sleepers() {
        finish_ = true;
        for (std::thread& t : threads_)
            t.join();
    }
    pid_t tid(int i) const { return tids_[i]; }
    uint64_t laps(int i) const { return laps_[i].load(); }

private:
    std::vector<std::thread> threads_;
    pid_t tids_[16] = {};
    std::atomic<uint64_t> laps_[16] = {};
    std::atomic<int> ready_{0};
    std::atomic<bool> finish_{false};
};

size_t indexOf(const pid_t* threads, uint32_t count, pid_t tid) {
    for (uint32_t i = 0; i < count; ++i)
        if (threads[i] == tid) return i;
    return SIZE_MAX;
}

// Runs the common crash path into "crash.crwrecord" of the report, counting the recording thread's
// allocations (the dispatch threads of the context's start-up may still be winding down; the stop
// handlers are counted on their own below), and returns its sections by name.
std::map<std::string, plat::Object> recordProcess(const CaptureContext& context,
                                                  crashtest::AllocationCounts* counts) {
    CRWFile file;
    const std::string path = context.file("crash.crwrecord").string();
    if (!CRWFileInitWithPath(&file, path.c_str(), false)) return {};
    {
        crashtest::AllocationCountScope counting;
        CRWHandler(&file, CRWThreadSelf(), nullptr);
        *counts = counting.counts();
    }
    CRWFileClose(&file);
    std::map<std::string, plat::Object> byName;
    for (const plat::Object& s : capturetest::sections(path))
        for (const auto& [name, value] : s.dict())
            byName[name] = value;
    return byName;
}

TEST(CRWThreadRecording, TheThreadListNamesEveryThreadOfTheProcess) {
    Sleepers sleepers(4);
    pid_t threads[CRWMaxRecordedThreads];
    const int32_t count = CRWThreadListCurrent(threads, CRWMaxRecordedThreads);
    ASSERT_GE(count, 5);
    EXPECT_NE(indexOf(threads, count, CRWThreadSelf()), SIZE_MAX);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(indexOf(threads, count, sleepers.tid(i)), SIZE_MAX);
    EXPECT_EQ(CRWThreadListCurrent(threads, 2), 2) << "a short list is cut, not overrun";

    // A thread started after the crash path listed the threads was never stopped.
    auto process = std::make_unique<CRWProcess>();
    ASSERT_TRUE(CRWProcessInit(process.get(), CRWThreadSelf(), nullptr));
    EXPECT_FALSE(CRWProcessHasThreadsSinceInit(process.get()));
    Sleepers late(1);
    EXPECT_TRUE(CRWProcessHasThreadsSinceInit(process.get()));
}

TEST(CRWThreadRecording, StoppedThreadsHandOverTheirRegistersAndResumeWhenReleased) {
    Sleepers sleepers(3, true);
    const pid_t deaf = sleepers.tid(2);
    EXPECT_TRUE(CRWThreadBlocksSignal(deaf, CRWThreadStopperSignal()));
    EXPECT_FALSE(CRWThreadBlocksSignal(sleepers.tid(0), CRWThreadStopperSignal()));
    pid_t threads[CRWMaxRecordedThreads];
    const int32_t count = CRWThreadListCurrent(threads, CRWMaxRecordedThreads);
    CRWThreadContext contexts[3];
    // The threads that were not stopped, and whether each was found ended.
    pid_t unstopped[CRWMaxRecordedThreads];
    bool exited[CRWMaxRecordedThreads];
    uint32_t unstoppedCount = 0;
    uint64_t lapsWhileStopped[3];
    bool stopped = false, resumed = false;
    crashtest::AllocationCounts counts;
    // What the stop handlers allocate counts on the stopped threads, and nothing else those threads
    // (or the dispatch workers that earlier tests left winding down) do meanwhile.
    ASSERT_TRUE(CRWThreadStopperInstall());
    crashtest::countInHandlersOf({CRWThreadStopperSignal()});
    {
        // Nothing that may allocate (a failing expectation) runs until counting ends. The threads
        // answer, and the deaf one stops for the reader, at once on a quiet machine; the waits are
        // the suite's patience for a crowded one, and end as soon as they have.
        crashtest::AllocationCountScope counting;
        stopped = CRWThreadStopperStop(threads, count, PatientCrashWaits::waits());
        for (int32_t i = 0; i < count; ++i) {
            const CRWThreadReadFailure failure = CRWThreadStopperFailure(threads[i]);
            if (threads[i] == CRWThreadSelf() || failure == CRWThreadReadFailureNone) continue;
            exited[unstoppedCount] = failure == CRWThreadReadFailureExited;
            unstopped[unstoppedCount++] = threads[i];
        }
        for (int i = 0; i < 3; ++i) {
            contexts[i].architecture = CRWThreadContextArchitectureNone;
            CRWThreadStopperGetContext(sleepers.tid(i), &contexts[i]);
            lapsWhileStopped[i] = sleepers.laps(i);
        }
        struct timespec interval {
            0, 20'000'000
        };
        nanosleep(&interval, nullptr);
        for (int i = 0; i < 3; ++i)
            lapsWhileStopped[i] = sleepers.laps(i) - lapsWhileStopped[i];
        resumed = CRWThreadStopperResume();
        counts = counting.counts();
    }
    // Every listed thread stopped but one that ended before it was asked to (a dispatch worker that
    // an earlier test left idle for long enough), which is gone.
    const std::set<int64_t> alive = capturetest::threadsOfThisProcess();
    EXPECT_EQ(stopped, unstoppedCount == 0);
    for (uint32_t i = 0; i < unstoppedCount; ++i)
        EXPECT_TRUE(exited[i] && alive.count(unstopped[i]) == 0)
            << "thread " << unstopped[i] << " did not stop: "
            << CRWThreadReadFailureReason(exited[i] ? CRWThreadReadFailureExited : CRWThreadReadFailureNoStop);
    EXPECT_TRUE(resumed);
    EXPECT_EQ(counts.total(), 0u) << counts;
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(CRWThreadContextGetPC(&contexts[i]), 4096u) << i;
        EXPECT_GT(CRWThreadContextGetStackPointer(&contexts[i]), 4096u) << i;
        EXPECT_EQ(lapsWhileStopped[i], 0u) << i << " ran on while stopped";
    }
    EXPECT_FALSE(CRWThreadStopperIsStopped(CRWThreadSelf()));
    EXPECT_FALSE(CRWThreadStopperIsStopped(deaf));
    // Released, the deaf thread runs on.
    const uint64_t laps = sleepers.laps(2);
    testsupport::waitUntil([&] { return sleepers.laps(2) != laps; });
    EXPECT_GT(sleepers.laps(2), laps);

    // A second session starts clean; a listed thread that has ended says so, the others stop.
    pid_t ended = 0;
    std::thread([&ended] { ended = gettid(); }).join();
    threads[count] = ended;
    EXPECT_FALSE(CRWThreadStopperStop(threads, count + 1, PatientCrashWaits::waits()));
    EXPECT_EQ(CRWThreadStopperFailure(ended), CRWThreadReadFailureExited);
    EXPECT_STREQ(CRWThreadReadFailureReason(CRWThreadStopperFailure(ended)), "thread exited");
    EXPECT_TRUE(CRWThreadStopperIsStopped(sleepers.tid(1)));
    EXPECT_TRUE(CRWThreadStopperIsStopped(deaf));
    EXPECT_TRUE(CRWThreadStopperResume());
}

TEST(CRWThreadRecording, TheCommonCrashPathDescribesEveryThreadWithoutAllocating) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    Sleepers sleepers(4, true);
    // A thread inside a queue's block, so its label is recorded.
    plat::DispatchSemaphore inside, release;
    const auto queue = plat::DispatchQueue::serial("test.capture.labelled");
    std::atomic<pid_t> queueThread{0};
    queue.async([&] {
        queueThread = gettid();
        inside.signal();
        release.wait();
    });
    inside.wait();

    crashtest::AllocationCounts counts;
    std::map<std::string, plat::Object> records;
    {
        // Every thread is read, however crowded the core: the waits are the test's.
        PatientCrashWaits patient;
        records = recordProcess(context, &counts);
    }
    release.signal();
    queue.sync([] {}); // the block uses this test's locals until it ends
    EXPECT_EQ(counts.total(), 0u) << counts;

    const auto& threads = records["threads"].array();
    const auto& names = records["thread_names"].array();
    const auto& labels = records["dispatch_queue_names"].array();
    ASSERT_GE(threads.size(), 6u);
    EXPECT_EQ(names.size(), threads.size());
    EXPECT_EQ(labels.size(), threads.size());
    const std::map<size_t, capturetest::UnreadThread> unread = capturetest::unreadThreads(context.logText());
    const std::set<int64_t> alive = capturetest::threadsOfThisProcess();
    size_t crashed = 0, deaf = 0;
    for (size_t i = 0; i < threads.size(); ++i) {
        const plat::Object& thread = threads[i];
        // A dispatch worker that ended while it was recorded, idle for long enough, is gone.
        if (thread["unreadable"] == plat::Object("thread exited")) {
            const auto logged = unread.find(i);
            EXPECT_TRUE(logged != unread.end() && logged->second.reason == "thread exited" &&
                        alive.count(logged->second.tid) == 0)
                << names[i].string() << " said to have exited, yet it runs on or the log does not say";
            continue;
        }
        EXPECT_GT(thread["registers"]["rip"].number().uint64Value(), 4096u) << names[i].string();
        EXPECT_GT(thread["registers"]["rsp"].number().uint64Value(), 4096u) << names[i].string();
        // The sleepers are walked from the C library's sleep down to the thread's start.
        EXPECT_GE(thread["stacktrace"].array().size(), names[i].string().rfind("sleeper-", 0) == 0 ? 4u : 1u)
            << names[i].string();
        if (names[i].string() == "deaf-3") ++deaf;
        if (thread["crashed"] == plat::Object(true)) ++crashed;
        if (names[i].string() == "sleeper-1") {
            EXPECT_TRUE(labels[i].string().empty());
        }
    }
    EXPECT_EQ(crashed, 1u);
    EXPECT_EQ(deaf, 1u) << "the thread that blocks every signal is recorded too";
    EXPECT_NE(std::find(labels.begin(), labels.end(), plat::Object("test.capture.labelled")), labels.end());
    EXPECT_NE(std::find(names.begin(), names.end(), plat::Object("sleeper-2")), names.end());
    EXPECT_TRUE(records["runtime"]["crash_info_entries"].isArray());
    EXPECT_GT(records["process_stats"]["resident"].number().uint64Value(), 0u);
    EXPECT_EQ(records["storage"], plat::Object(plat::Object::Dict{{"free", 0}, {"total", 0}}));
    EXPECT_TRUE(fs::exists(context.report().parent_path() / "previously-crashed"));
    EXPECT_FALSE(CRWThreadStopperIsStopped(sleepers.tid(0))) << "released afterwards";
}

// The other threads run again only once the record file is closed (one of them may end the
// process at once): a thread that was stopped finds the file's descriptor closed as soon as it runs.
// It waits asleep for the first walk to write to its pipe: a crowded core runs a thread that a
// signal wakes sooner than one that has spun through its share.
std::atomic<bool> walked{false};
int walkedPipe[2] = {-1, -1};
bool markingWalker(const CRWThreadContext* context, CRWFrameVisitor visit, void* state) {
    if (!walked.exchange(true)) (void)!write(walkedPipe[1], "w", 1);
    return CRWFrameWalkerPCOnly(context, visit, state);
}

// Only a thread held stopped until the record closed is a counter-example, so the waits are the
// test's: the recording never gives up on the watcher, however crowded the core.
TEST(CRWThreadRecording, TheRecordIsClosedBeforeTheOtherThreadsRunAgain) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    PatientCrashWaits patient;
    const fs::path path = context.file("crash.crwrecord");
    CRWFile file;
    ASSERT_TRUE(CRWFileInitWithPath(&file, path.c_str(), false));
    const int descriptor = file.descriptor;
    // Another thread of the test process may open a file that takes the number once it is free.
    struct stat record {};
    ASSERT_EQ(fstat(descriptor, &record), 0);
    walked = false;
    ASSERT_EQ(pipe(walkedPipe), 0);
    std::atomic<bool> running{false};
    std::atomic<int> openWhenResumed{-1};
    std::thread watcher([&] {
        pthread_setname_np(pthread_self(), "watcher");
        running = true;
        // Stopped in here; the walks run while it is stopped.
        char byte = 0;
        while (read(walkedPipe[0], &byte, 1) < 0 && errno == EINTR) {
        }
        struct stat now {};
        openWhenResumed =
            fstat(descriptor, &now) == 0 && now.st_ino == record.st_ino && now.st_dev == record.st_dev;
    });
    while (!running.load())
        std::this_thread::yield();
    CRWSetFrameWalker(markingWalker);
    CRWHandler(&file, CRWThreadSelf(), nullptr);
    // Nothing opens a file (which could take the same descriptor) until the watcher has looked.
    watcher.join();
    CRWSetFrameWalker(nullptr);
    for (int& end : walkedPipe)
        close(std::exchange(end, -1));
    EXPECT_FALSE(CRWFileIsOpen(&file));
    const plat::Object threads = capturetest::section(path, "threads");
    const plat::Object names = capturetest::section(path, "thread_names");
    bool watcherRead = false;
    for (size_t i = 0; threads.isArray() && i < threads.array().size() && i < names.array().size(); ++i)
        if (names.at(i) == plat::Object("watcher")) watcherRead = threads.at(i)["registers"].isDict();
    EXPECT_TRUE(watcherRead) << context.logText();
    EXPECT_EQ(openWhenResumed.load(), 0) << "the watcher ran again while the record was open";
}

// A walker that yields a recursion: two frames, forty of the same pc, then two more.
bool recursingWalker(const CRWThreadContext*, CRWFrameVisitor visit, void* state) {
    visit(state, 0x1000, 0);
    visit(state, 0x2000, 0);
    for (uint32_t repeat = 0; repeat < 40; ++repeat)
        visit(state, 0x3000, repeat);
    visit(state, 0x4000, 0);
    visit(state, 0x5000, 0);
    return true;
}

TEST(CRWThreadRecording, ARecursionIsFoldedAndItsFramesStopLogging) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWProcess process;
    ASSERT_TRUE(CRWProcessInit(&process, CRWThreadSelf(), nullptr));
    process.threadCount = 1;
    process.threads[0] = CRWThreadSelf();
    process.walker = recursingWalker;
    CRWFile file;
    const fs::path path = context.file("recursion.crwrecord");
    ASSERT_TRUE(CRWFileInitWithPath(&file, path.c_str(), false));
    EXPECT_TRUE(CRWProcessRecordAllThreads(&process, &file));
    CRWFileClose(&file);

    const plat::Object thread = capturetest::section(path, "threads").at(0);
    plat::Object::Array expected{plat::Object(uint64_t{0x1000}), plat::Object(uint64_t{0x2000})};
    for (int i = 0; i < 10; ++i)
        expected.push_back(plat::Object(uint64_t{0x3000}));
    expected.push_back(plat::Object(uint64_t{0x4000}));
    expected.push_back(plat::Object(uint64_t{0x5000}));
    EXPECT_EQ(thread["stacktrace"], plat::Object(expected));
    EXPECT_EQ(thread["repeated_pc"].number().uint64Value(), 0x3000u);
    EXPECT_EQ(thread["repeat_count"].number().uint64Value(), 39u);
    EXPECT_EQ(_crwContext.writable->logLevel, 1u) << "the log level is back";
    const std::string log = context.logText();
    EXPECT_EQ(log.find("Possible infinite recursion"), log.rfind("Possible infinite recursion"));
    EXPECT_NE(log.find("Possible infinite recursion"), std::string::npos);
}

TEST(CRWThreadRecording, AnEmptyThreadListGivesEmptyArrays) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWProcess process;
    CRWProcessInit(&process, CRWThreadSelf(), nullptr);
    process.threadCount = 0; // as when the list cannot be read
    CRWFile file;
    const fs::path path = context.file("empty.crwrecord");
    ASSERT_TRUE(CRWFileInitWithPath(&file, path.c_str(), false));
    CRWProcessRecordAllThreads(&process, &file);
    CRWProcessRecordDispatchQueueNames(&process, &file);
    CRWProcessRecordThreadNames(&process, &file);
    CRWFileClose(&file);
    for (const char* name : {"threads", "dispatch_queue_names", "thread_names"})
        EXPECT_EQ(capturetest::section(path, name), plat::Object(plat::Object::Array{})) << name;
}

TEST(CRWThreadRecording, CrashAnnotationsAreRedactedInACopy) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    static char message[] = "failed in (01234567-89ab-cdef-0123-456789abcdef) badly";
    static uint64_t annotation[7] = {5, reinterpret_cast<uintptr_t>(message), 0, 0, 0, 0, 0};
    static uint64_t unreadable[7] = {4, 16, 0, 0, 0, 0, 0};
    static uint64_t tooNew[7] = {6, reinterpret_cast<uintptr_t>(message), 0, 0, 0, 0, 0};
    CRWBinaryImageTable& table = _crwContext.writable->binaryImages.table;
    auto& slots = table.slots;
    const CRWBinaryImageTable saved = table;
    if (table.slotsInUse < 3) table.slotsInUse = 3;
    slots[0].crashInfo = reinterpret_cast<uintptr_t>(annotation);
    slots[1].crashInfo = reinterpret_cast<uintptr_t>(unreadable);
    slots[2].crashInfo = reinterpret_cast<uintptr_t>(tooNew);
    CRWProcess process;
    CRWProcessInit(&process, CRWThreadSelf(), nullptr);
    CRWFile file;
    const fs::path path = context.file("runtime.crwrecord");
    ASSERT_TRUE(CRWFileInitWithPath(&file, path.c_str(), false));
    CRWProcessRecordRuntimeInfo(&process, &file);
    CRWFileClose(&file);
    table = saved;
    EXPECT_EQ(capturetest::section(path, "runtime"),
              plat::Object({{"objc_selector", plat::Object("")},
                            {"crash_info_entries",
                             plat::Object(plat::Object::Array{plat::Object(capturetest::hex(
                                 "failed in (********-****-****-****-************) badly"))})}}));
    EXPECT_STREQ(message, "failed in (01234567-89ab-cdef-0123-456789abcdef) badly")
        << "the library's text is untouched";
}

TEST(CRWThreadRecording, SafeStringCopiesStopAtUnreadableMemory) {
    char buffer[16];
    EXPECT_FALSE(CRWCopyStringSafely(16, buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(
        CRWCopyStringSafely(reinterpret_cast<uintptr_t>("a longer text than fits"), buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "a longer text t");

    // A string running into an unmapped page keeps what could be read.
    const long page = sysconf(_SC_PAGESIZE);
    auto* pages = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    memset(pages, 'x', page);
    munmap(pages + page, page);
    EXPECT_TRUE(CRWCopyStringSafely(reinterpret_cast<uintptr_t>(pages + page - 3), buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "xxx");
    munmap(pages, page);
}

TEST(CRWThreadRecording, ThreadContextsMaskARM64PointersAndKnowWhichRegistersExist) {
    CRWThreadContext context{};
    context.architecture = CRWThreadContextArchitectureARM64;
    context.arm64.threadState.pc = 0xABCD000123456789;
    context.arm64.threadState.lr = 0xFF00000000001000;
    EXPECT_EQ(CRWThreadContextGetPC(&context), 0x0000000123456789u);
    EXPECT_EQ(CRWThreadContextGetLinkRegister(&context), 0x1000u);
    EXPECT_TRUE(CRWThreadContextSetFramePointer(&context, 0xAB00000000000010));
    EXPECT_EQ(context.arm64.threadState.fp, 0xAB00000000000010u) << "writes are stored unchanged";

    context = CRWThreadContext{};
    context.architecture = CRWThreadContextArchitectureX86_64;
    context.x86_64.rip = 0xABCD000123456789;
    EXPECT_EQ(CRWThreadContextGetPC(&context), 0xABCD000123456789u);
    EXPECT_FALSE(CRWThreadContextSetLinkRegister(&context, 1));
    EXPECT_EQ(CRWThreadContextGetLinkRegister(&context), 0u);
    context.architecture = CRWThreadContextArchitectureNone;
    EXPECT_EQ(CRWThreadContextGetPC(&context), 0u);
    EXPECT_FALSE(CRWThreadContextSetPC(&context, 1));
}

std::atomic<int> hookCalls{0};
thread_local bool hookRan = false;

TEST(CRWThreadRecording, DispatchThreadsRunTheStartHookBeforeTheirNextBlock) {
    hookCalls = 0;
    plat::setDispatchThreadHooks({[] {
                                      hookRan = true;
                                      ++hookCalls;
                                  },
                                  nullptr});
    std::atomic<int> blocksAfterHook{0};
    plat::DispatchSemaphore bothInside, release;
    const auto queue = plat::DispatchQueue::concurrent("test.capture.hooks");
    plat::DispatchGroup blocks;
    for (int i = 0; i < 2; ++i) {
        queue.async(blocks, [&] {
            if (hookRan) ++blocksAfterHook;
            bothInside.signal();
            release.wait();
        });
    }
    bothInside.wait();
    bothInside.wait();
    release.signal();
    release.signal();
    // A block may still be on its way into wait(), and it uses this test's locals until it ends.
    ASSERT_TRUE(blocks.wait(std::chrono::minutes(1)));
    plat::setDispatchThreadHooks({});
    EXPECT_EQ(blocksAfterHook.load(), 2) << "threads that were already running ran it too";
    EXPECT_GE(hookCalls.load(), 2);
}

TEST(CRWThreadRecording, AThreadGetsAnAlternateStackOfItsOwnOnce) {
    std::thread([] {
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        ASSERT_EQ(sigaltstack(&disable, nullptr), 0); // the sanitizer may have given the thread one
        CRWSignalThreadStarted();
        stack_t first{};
        sigaltstack(nullptr, &first);
        EXPECT_EQ(first.ss_flags & SS_DISABLE, 0);
        EXPECT_EQ(first.ss_size, CRWSignalThreadStackSize);
        CRWSignalThreadStarted();
        stack_t second{};
        sigaltstack(nullptr, &second);
        EXPECT_EQ(second.ss_sp, first.ss_sp) << "a second start keeps the stack";
        CRWSignalThreadFinished();
        stack_t after{};
        sigaltstack(nullptr, &after);
        EXPECT_NE(after.ss_flags & SS_DISABLE, 0);
    }).join();
}

} // namespace
