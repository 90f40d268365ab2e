// Real crashes in a child process (crash-demo): the child dies by the right signal, its report
// folder holds the records, and the crashed thread's first frame lies in the crashing function.
#include "crash/record/CRWContext.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>
#include <optional>
#include <sstream>

namespace {

using capturetest::DemoRun;
using capturetest::hex;
using capturetest::UnreadThread;
namespace fs = std::filesystem;

class CrashDemo : public ::testing::Test {
protected:
    DemoRun run(const std::string& mode, std::vector<std::string> options = {}, int signalWhenReady = 0) {
        std::vector<std::string> arguments{mode, report.string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return capturetest::runDemo(arguments, signalWhenReady);
    }
    // The records of a file, by section name.
    std::map<std::string, plat::Object> records(const char* file) const {
        std::map<std::string, plat::Object> byName;
        for (const plat::Object& s : capturetest::sections(report / file))
            for (const auto& [name, value] : s.dict())
                byName[name] = value;
        return byName;
    }
    // The crashed thread of a record file and its index; none when no thread is marked.
    static std::pair<plat::Object, size_t> crashedThread(const std::map<std::string, plat::Object>& byName) {
        const plat::Object::Array& threads = byName.at("threads").array();
        for (size_t i = 0; i < threads.size(); ++i)
            if (threads[i]["crashed"] == plat::Object(true)) return {threads[i], i};
        return {plat::Object(), SIZE_MAX};
    }
    // The function a symbol belongs to. The optimiser moves a function's unlikely paths (a throw,
    // among them) into a part of its own named after it with ".cold"; that part is the function.
    static std::string function(std::string symbol) {
        static const std::string kCold = ".cold";
        if (symbol.size() > kCold.size() &&
            symbol.compare(symbol.size() - kCold.size(), kCold.size(), kCold) == 0)
            symbol.resize(symbol.size() - kCold.size());
        return symbol;
    }
    // The function holding the crashed thread's first frame, symbolized in `image`.
    static std::string firstFrameFunction(const DemoRun& demo,
                                          const std::map<std::string, plat::Object>& byName,
                                          const std::string& image) {
        const plat::Object thread = crashedThread(byName).first;
        const uint64_t pc = thread["stacktrace"].at(0).number().uint64Value();
        for (const auto& [path, base] : demo.imageBases)
            if (path.find(image) != std::string::npos)
                return function(capturetest::symbolize(path, pc - base));
        return "<no image " + image + ">";
    }
    // The functions of `image` on a thread's stack, innermost first (return addresses are looked up
    // one byte back, inside their call).
    static std::vector<std::string> functionsOnStack(const DemoRun& demo, const plat::Object& thread,
                                                     const std::string& image) {
        std::vector<std::string> functions;
        for (const auto& [path, base] : demo.imageBases) {
            if (path.find(image) == std::string::npos) continue;
            const plat::Object::Array& frames = thread["stacktrace"].array();
            for (size_t i = 0; i < frames.size(); ++i) {
                const uint64_t pc = frames[i].number().uint64Value() - (i == 0 ? 0 : 1);
                if (pc >= base && pc - base < (uint64_t{1} << 28))
                    functions.push_back(function(capturetest::symbolize(path, pc - base)));
            }
        }
        return functions;
    }
    static bool contains(const std::vector<std::string>& functions, const std::string& name) {
        return std::find(functions.begin(), functions.end(), name) != functions.end();
    }
    // Every section of the common crash path is there.
    static void expectProcessRecorded(const std::map<std::string, plat::Object>& byName) {
        for (const char* name :
             {"threads", "runtime", "dispatch_queue_names", "thread_names", "process_stats", "storage"})
            EXPECT_EQ(byName.count(name), 1u) << name;
        if (byName.count("threads") == 0) return;
        const size_t threads = byName.at("threads").array().size();
        EXPECT_EQ(byName.at("thread_names").array().size(), threads);
        EXPECT_EQ(byName.at("dispatch_queue_names").array().size(), threads);
    }

    // The time from just before the crash to the chained handler, as the demo printed it; none when
    // it printed no such line.
    static std::optional<uint64_t> crashNanoseconds(const DemoRun& demo) {
        const size_t at = demo.output.find(" nanoseconds ");
        if (at == std::string::npos) return std::nullopt;
        return std::stoull(demo.output.substr(at + 13));
    }
    // The unread threads that the report's log names, by index.
    std::map<size_t, UnreadThread> unreadThreads() const {
        return capturetest::unreadThreads(testsupport::readFile(report / "sdk.log"));
    }
    // What is wrong with the record of a thread that the crash path left unread, judged by the
    // log: it must give the record's reason, and the path may give up on a thread only once its own
    // wait for that very thread has run out. The wait it reports must be no shorter than it says
    // that wait was meant to be, and no longer than the whole crash when the demo timed it. A
    // thread that ended meanwhile (an idle worker of the thread pool, say) costs no wait, but must
    // be gone: not among the threads `alive` once the recording was over. Empty when nothing is.
    static std::string wrongGiveUp(const plat::Object& thread, size_t index,
                                   const std::map<size_t, UnreadThread>& unread,
                                   std::optional<uint64_t> crashNanoseconds,
                                   const std::optional<std::set<int64_t>>& alive) {
        if (!thread["unreadable"].isString()) return "neither read nor given a reason";
        const std::string& reason = thread["unreadable"].string();
        const auto found = unread.find(index);
        if (found == unread.end()) return reason + ", which the log does not give";
        const UnreadThread& logged = found->second;
        if (logged.reason != reason) return reason + ", which the log gives as " + logged.reason;
        if (reason == "thread exited") {
            if (!alive) return "thread exited, with no list of the threads left to check it against";
            if (alive->count(logged.tid) != 0)
                return "thread exited, yet thread " + std::to_string(logged.tid) + " ran on after the recording";
            return "";
        }
        if (!logged.waitedMilliseconds || !logged.dueMilliseconds) return reason + " after no wait";
        const uint64_t waited = *logged.waitedMilliseconds, due = *logged.dueMilliseconds;
        const std::string wait =
            reason + " after " + std::to_string(waited) + " ms of its " + std::to_string(due) + " ms wait";
        if (waited < due) return "given up on before its wait ran out: " + wait;
        if (crashNanoseconds && waited * 1'000'000 > *crashNanoseconds)
            return "a wait longer than the whole crash of " + std::to_string(*crashNanoseconds / 1'000'000) +
                   " ms: " + wait;
        return "";
    }
    // A thread's registers and stack, as the record of a thread that the crash path read has them.
    static void expectRead(const plat::Object& thread, const std::string& name) {
        EXPECT_GT(thread["registers"]["rip"].number().uint64Value(), 4096u) << name;
        EXPECT_GT(thread["registers"]["rsp"].number().uint64Value(), 4096u) << name;
        EXPECT_FALSE(thread["stacktrace"].array().empty()) << name;
    }
    // Whether the record of a thread that the path can stop has its registers and a stack. The
    // path keeps its deadlines, so on a machine too busy to run the thread in time it gives up on
    // it: that record has the reason instead, accepted only for a thread that did not stop or a
    // reader that did not report, each after its whole wait, or for a thread that ended meanwhile
    // and is gone (wrongGiveUp). A thread left unread for another reason, or sooner, fails.
    static bool readOrGivenUpInTime(const plat::Object& thread, size_t index, const std::string& name,
                                    const std::map<size_t, UnreadThread>& unread,
                                    std::optional<uint64_t> elapsed,
                                    const std::optional<std::set<int64_t>>& alive) {
        if (thread["registers"].isAbsent()) {
            const plat::Object& reason = thread["unreadable"];
            EXPECT_TRUE(reason == plat::Object("thread did not stop") ||
                        reason == plat::Object("thread reader timed out") ||
                        reason == plat::Object("thread exited"))
                << name << " is neither read, late nor gone";
            EXPECT_EQ(wrongGiveUp(thread, index, unread, elapsed, alive), "") << name;
            return false;
        }
        expectRead(thread, name);
        return true;
    }

    // The crash path's time in the deaf-thread demo that a run must keep to count as on time: the
    // thread that cannot stop costs one wait of the outside reader (a tenth of a second) and the
    // rest takes milliseconds on a quiet machine, a second or so on a crowded core.
    static constexpr uint64_t kDeafCrashOnTime = 3'000'000'000;
    // What in a run of the deaf-thread demo shows a thread given up on (the traced and the stuck
    // one have reasons of their own) or a crash slower than kDeafCrashOnTime; empty when nothing.
    static std::string lateness(const std::map<std::string, plat::Object>& byName, uint64_t elapsed) {
        std::string late;
        if (elapsed >= kDeafCrashOnTime)
            late += "the crash took " + std::to_string(elapsed / 1'000'000) + " ms; ";
        if (byName.count("threads") == 0 || byName.count("thread_names") == 0) return late;
        const plat::Object::Array& threads = byName.at("threads").array();
        const plat::Object::Array& names = byName.at("thread_names").array();
        for (size_t i = 0; i < threads.size() && i < names.size(); ++i) {
            const plat::Object& reason = threads[i]["unreadable"];
            const bool ownReason =
                names[i] == plat::Object("deaf-traced") || names[i] == plat::Object("deaf-stuck");
            if (reason == plat::Object("thread reader timed out") ||
                (!ownReason && reason == plat::Object("thread did not stop")))
                late += names[i].string() + ": " + reason.string() + "; ";
        }
        return late;
    }

    testsupport::TempHome home;
    fs::path report = home.path() / "reports" / "fedcba9876543210fedcba9876543210";
};

TEST_F(CrashDemo, ASegfaultIsRecordedInTheCrashingFunctionWithoutAllocating) {
    const DemoRun demo = run("segv", {"--threads", "10", "--previous-handler", "--count-allocations"});
    EXPECT_EQ(demo.termSignal, SIGSEGV) << demo.output;
    // The handler installed before crash reporting was chained, after the records were written.
    EXPECT_NE(demo.output.find("previous 11 allocations 0 nanoseconds"), std::string::npos) << demo.output;
    const auto byName = records(CRWReportSignalFile);
    EXPECT_EQ(byName.at("signal")["number"].number().int64Value(), SIGSEGV);
    EXPECT_EQ(byName.at("signal")["name"].string(), "SIGSEGV");
    EXPECT_EQ(byName.at("signal")["address"].number().uint64Value(), 16u);
    expectProcessRecorded(byName);
    EXPECT_GE(byName.at("threads").array().size(), 11u);
    EXPECT_EQ(firstFrameFunction(demo, byName, "crash-demo"), "crashDemoSegfault");
    EXPECT_TRUE(fs::exists(report.parent_path() / "previously-crashed"));
}

// On a machine too busy to run a thread within the crash path's deadlines the path gives up on it,
// once its wait for that thread has run out, and the whole crash is slow: such a run is run again.
// Threads that end as the crash comes (as idle workers of the thread pool do) may be found gone.
// A reader that reads nothing, or a path that gives up late, misses in every run; a path that gives
// up on a thread before its wait for it ran out fails at once.
TEST_F(CrashDemo, ThreadsThatBlockEverySignalAreReadFromOutsideAndUnreadableOnesSayWhy) {
    constexpr int kAttempts = 12;
    DemoRun demo;
    std::map<std::string, plat::Object> byName;
    std::map<size_t, UnreadThread> unread;
    std::string late = "no run";
    for (int attempt = 0; attempt < kAttempts && !late.empty() && !HasFailure(); ++attempt) {
        fs::remove_all(report);
        demo = run("segv", {"--threads", "2", "--deaf-threads", "4", "--spinning-thread", "--traced-thread",
                            "--stuck-thread", "--ending-threads", "4", "--previous-handler",
                            "--count-allocations"});
        ASSERT_EQ(demo.termSignal, SIGSEGV) << demo.output;
        // The thread that cannot stop stays stuck until the process has ended: the crash ended (by
        // its signal above, not by the runner's deadline) because the path gave up on that thread,
        // and on the busiest machine within the suite's patience.
        EXPECT_NE(demo.output.find("previous 11 allocations 0 nanoseconds"), std::string::npos)
            << demo.output;
        const uint64_t elapsed = crashNanoseconds(demo).value_or(UINT64_MAX);
        ASSERT_LT(elapsed, std::chrono::nanoseconds(testsupport::kPatience).count()) << demo.output;
        byName = records(CRWReportSignalFile);
        unread = unreadThreads();
        // The traced thread, which the reader may not touch, costs no wait; any other was given up
        // on only once the path's wait for it ran out.
        if (byName.count("threads") != 0 && byName.count("thread_names") != 0) {
            const plat::Object::Array& threads = byName.at("threads").array();
            const plat::Object::Array& names = byName.at("thread_names").array();
            for (size_t i = 0; i < threads.size() && i < names.size(); ++i) {
                if (threads[i]["registers"].isAbsent() && names[i] != plat::Object("deaf-traced")) {
                    EXPECT_EQ(wrongGiveUp(threads[i], i, unread, elapsed, demo.aliveAfterRecording), "")
                        << "run " << attempt + 1 << ": " << names[i].string();
                }
            }
        }
        late = lateness(byName, elapsed);
        if (!late.empty()) std::cout << "run " << attempt + 1 << ": " << late << "\n";
    }
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(late, "") << "in none of " << kAttempts
                        << " runs were all threads read and the crash over in time";
    expectProcessRecorded(byName);
    const plat::Object::Array& threads = byName.at("threads").array();
    const plat::Object::Array& names = byName.at("thread_names").array();
    ASSERT_EQ(names.size(), threads.size());
    // Where each kind of deaf thread waits: a frame of its own, reached through the C library for
    // the two that wait in the kernel.
    const std::map<std::string, std::vector<std::string>> expectedFrames{
        {"deaf-0", {"crashDemoDeafSleep"}},
        {"deaf-1", {"crashDemoDeafReadInner", "crashDemoDeafReadOuter"}},
        {"deaf-2", {"crashDemoDeafSleep"}},
        {"deaf-3", {"crashDemoDeafReadInner", "crashDemoDeafReadOuter"}},
        {"deaf-spin", {"crashDemoDeafSpin"}}};
    size_t deaf = 0, recorded = 0, gone = 0;
    for (size_t i = 0; i < threads.size(); ++i) {
        const std::string& name = names[i].string();
        // A worker of the thread pool that ended meanwhile, gone as the loop above found.
        if (threads[i]["unreadable"] == plat::Object("thread exited")) {
            ++gone;
            continue;
        }
        // Another process traces one, the other waits where no stop reaches it: no registers, and
        // the reason instead, which the log gives as well.
        if (name == "deaf-traced" || name == "deaf-stuck") {
            const std::string reason = name == "deaf-traced" ? "ptrace not permitted" : "thread did not stop";
            EXPECT_EQ(threads[i], plat::Object({{"unreadable", plat::Object(reason)}})) << name;
            EXPECT_EQ(unread.count(i) != 0 ? unread.at(i).reason : "not logged", reason) << name;
            continue;
        }
        expectRead(threads[i], name);
        ++recorded;
        if (name.rfind("deaf-", 0) != 0) continue;
        ++deaf;
        const std::vector<std::string> stack = functionsOnStack(demo, threads[i], "crash-demo");
        ASSERT_EQ(expectedFrames.count(name), 1u) << name;
        for (const std::string& function : expectedFrames.at(name))
            EXPECT_TRUE(contains(stack, function)) << name << " lacks " << function;
        EXPECT_TRUE(std::any_of(
            stack.begin(), stack.end(),
            [](const std::string& function) { return function.find("deafThread") != std::string::npos; }))
            << name << " is walked down to its thread function";
        if (name == "deaf-spin") {
            EXPECT_EQ(stack.at(0), "crashDemoDeafSpin") << "interrupted while running";
        }
    }
    EXPECT_EQ(deaf, 5u);
    EXPECT_EQ(recorded, threads.size() - 2 - gone)
        << "every thread but the traced and the stuck one and those gone";
}

TEST_F(CrashDemo, AbortAndUncaughtExceptionsEndBySIGABRT) {
    DemoRun demo = run("abort");
    EXPECT_EQ(demo.termSignal, SIGABRT);
    auto byName = records(CRWReportSignalFile);
    EXPECT_EQ(byName.at("signal")["name"].string(), "SIGABRT");
    EXPECT_EQ(byName.at("signal")["code_name"].string(), "ABORT");
    EXPECT_EQ(byName.at("signal")["code"].number().int64Value(), SI_TKILL) << "sent by the thread itself";
    // The first frame is in the C library; the walk goes on into the crashing function.
    auto stack = functionsOnStack(demo, crashedThread(byName).first, "crash-demo");
    ASSERT_FALSE(stack.empty());
    EXPECT_EQ(stack[0], "crashDemoAbort");
    EXPECT_TRUE(contains(stack, "main"));

    fs::remove_all(report);
    demo = run("exception");
    EXPECT_EQ(demo.termSignal, SIGABRT);
    const auto exception = records(CRWReportExceptionFile);
    EXPECT_EQ(exception.at("exception")["type"].string(), "c++");
    EXPECT_EQ(exception.at("exception")["name"].string(), hex("std::runtime_error"));
    EXPECT_EQ(exception.at("exception")["reason"].string(), hex("demo failure"));
    expectProcessRecorded(exception);
    EXPECT_TRUE(
        contains(functionsOnStack(demo, crashedThread(exception).first, "crash-demo"), "crashDemoThrow"));
    // The abort that follows is recorded by the signal handler as well.
    byName = records(CRWReportSignalFile);
    EXPECT_EQ(byName.at("signal")["name"].string(), "SIGABRT");
    stack = functionsOnStack(demo, crashedThread(byName).first, "crash-demo");
    EXPECT_TRUE(contains(stack, "CRWTerminateHandler()") || contains(stack, "_Z19CRWTerminateHandlerv"));
    EXPECT_TRUE(contains(stack, "crashDemoThrow"));

    fs::remove_all(report);
    demo = run("exception-string");
    EXPECT_EQ(demo.termSignal, SIGABRT);
    EXPECT_EQ(records(CRWReportExceptionFile).at("exception")["name"].string(), hex("const char *"));
    EXPECT_EQ(records(CRWReportExceptionFile).at("exception")["reason"].string(), hex("demo string"));

    // An exception that escapes a block on a queue is recorded as well: the queue ends the process
    // through std::terminate while the exception is current.
    fs::remove_all(report);
    demo = run("queue-exception");
    EXPECT_EQ(demo.termSignal, SIGABRT);
    EXPECT_EQ(records(CRWReportExceptionFile).at("exception")["type"].string(), "c++");
    EXPECT_EQ(records(CRWReportExceptionFile).at("exception")["name"].string(), hex("std::runtime_error"));
    EXPECT_EQ(records(CRWReportExceptionFile).at("exception")["reason"].string(), hex("queued failure"));
}

TEST_F(CrashDemo, AWorkerCrashesWhileEightThreadsSleep) {
    const DemoRun demo = run("worker");
    EXPECT_EQ(demo.termSignal, SIGSEGV);
    const auto byName = records(CRWReportSignalFile);
    expectProcessRecorded(byName);
    const auto [thread, index] = crashedThread(byName);
    ASSERT_NE(index, SIZE_MAX);
    EXPECT_EQ(byName.at("dispatch_queue_names").at(index).string(), "demo.worker");
    int sleepers = 0;
    for (const plat::Object& name : byName.at("thread_names").array())
        if (name.string().rfind("sleeper-", 0) == 0) ++sleepers;
    EXPECT_EQ(sleepers, 8);
    EXPECT_EQ(firstFrameFunction(demo, byName, "crash-demo"), "crashDemoSegfault");
}

TEST_F(CrashDemo, StackOverflowsAreRecordedOnTheAlternateStack) {
    for (const char* mode : {"overflow", "overflow-worker"}) {
        fs::remove_all(report);
        const DemoRun demo = run(mode);
        EXPECT_EQ(demo.termSignal, SIGSEGV) << mode;
        const auto byName = records(CRWReportSignalFile);
        expectProcessRecorded(byName);
        EXPECT_EQ(firstFrameFunction(demo, byName, "crash-demo"), "crashDemoOverflow") << mode;
        // The recursion is folded into its repeated frame.
        const plat::Object thread = crashedThread(byName).first;
        const uint64_t repeated = thread["repeated_pc"].number().uint64Value();
        const uint64_t base = demo.imageBases.begin()->second;
        EXPECT_EQ(capturetest::symbolize(demo.imageBases.begin()->first, repeated - 1 - base),
                  "crashDemoOverflow");
        EXPECT_GT(thread["repeat_count"].number().uint64Value(), 100u);
        EXPECT_LT(thread["stacktrace"].array().size(), 40u);
    }
}

TEST_F(CrashDemo, ACrashInsideALoadedLibraryPointsIntoIt) {
    const DemoRun demo = run("dlopen");
    EXPECT_EQ(demo.termSignal, SIGSEGV);
    EXPECT_EQ(firstFrameFunction(demo, records(CRWReportSignalFile), "libcrash_demo_library"),
              "crashDemoLibraryCrash");
}

// crash-demo loads a library with plain dlopen, which loads a second one the same way; that one,
// built without frame pointers, crashes three calls deep. Both libraries get their "load" lines,
// and the walk through the second one (which needs its unwind tables, so its slot) gives the
// return addresses that its own backtrace() gave just before the fault.
TEST_F(CrashDemo, ACrashInALibraryThatAnotherLibraryLoadedIsWalkedThroughIt) {
    const DemoRun demo = run("nested-dlopen");
    ASSERT_EQ(demo.termSignal, SIGSEGV) << demo.output;
    // Each library's load line, at the base it printed; its range, to place the frames.
    std::map<std::string, std::pair<uint64_t, uint64_t>> ranges;
    for (const plat::Object& section : capturetest::sections(report / "binary_images.crwrecord"))
        if (const plat::Object& load = section["load"]; load.isDict())
            ranges[load["path"].string()] = {load["base"].number().uint64Value(),
                                             load["size"].number().uint64Value()};
    for (const char* library : {CRASH_DEMO_LOADER_PATH, CRASH_DEMO_FRAMELESS_PATH}) {
        ASSERT_TRUE(demo.imageBases.count(library)) << demo.output;
        ASSERT_TRUE(ranges.count(library)) << library << " has no load line";
        EXPECT_EQ(ranges[library].first, demo.imageBases.at(library)) << library;
    }
    // The functions of a library's frames, innermost first (return addresses one byte back).
    auto functionsIn = [&](const plat::Object& thread, const char* library) {
        const auto [base, size] = ranges[library];
        std::vector<std::string> functions;
        const plat::Object::Array& frames = thread["stacktrace"].array();
        for (size_t i = 0; i < frames.size(); ++i) {
            const uint64_t pc = frames[i].number().uint64Value() - (i == 0 ? 0 : 1);
            if (pc >= base && pc - base < size)
                functions.push_back(capturetest::symbolize(library, pc - base));
        }
        return functions;
    };

    std::vector<uint64_t> expected;
    const size_t line = demo.output.find("backtrace ");
    ASSERT_NE(line, std::string::npos) << demo.output;
    std::istringstream words(demo.output.substr(line + 10, demo.output.find('\n', line) - line - 10));
    for (std::string word; words >> word;)
        expected.push_back(std::stoull(word, nullptr, 16));
    const auto byName = records(CRWReportSignalFile);
    const plat::Object thread = crashedThread(byName).first;
    const plat::Object::Array& frames = thread["stacktrace"].array();
    // backtrace() begins with its own return into the innermost function (after a sanitizer's
    // interceptor's, where there is one); from the first caller's return address on, both list
    // the same frames: two in the frameless library, one in the loader, main, and the C library's
    // start-up.
    ASSERT_GE(frames.size(), 5u);
    const auto callers = std::find(expected.begin(), expected.end(), frames[1].number().uint64Value());
    ASSERT_NE(callers, expected.end()) << "the walk's first return address is not in the backtrace";
    EXPECT_LE(callers - expected.begin(), 2);
    std::vector<uint64_t> walked;
    for (size_t i = 1; i < frames.size(); ++i)
        walked.push_back(frames[i].number().uint64Value());
    EXPECT_EQ(walked, std::vector<uint64_t>(callers, expected.end()));
    EXPECT_EQ(functionsIn(thread, CRASH_DEMO_FRAMELESS_PATH),
              (std::vector<std::string>{"crashDemoFramelessLeaf", "crashDemoFramelessMiddle",
                                        "crashDemoFramelessEnter"}));
    EXPECT_EQ(functionsIn(thread, CRASH_DEMO_LOADER_PATH), std::vector<std::string>{"crashDemoLoaderRun"});
    EXPECT_TRUE(contains(functionsOnStack(demo, thread, "crash-demo"), "main"));
}

// A program linked at a fixed address is on the linker's list with a load bias of 0 and its
// header where it was linked: the crash path finds it there and leaves its image in place, so its
// frames are walked and nothing is unloaded.
TEST_F(CrashDemo, AProgramLinkedAtAFixedAddressKeepsItsImage) {
    const DemoRun demo = capturetest::runDemo({"segv", report.string()}, 0, CRASH_DEMO_FIXED_PATH);
    ASSERT_EQ(demo.termSignal, SIGSEGV) << demo.output;
    size_t loads = 0;
    for (const plat::Object& section : capturetest::sections(report / "binary_images.crwrecord")) {
        EXPECT_TRUE(section["unload"].isAbsent())
            << "unloaded at " << section["unload"]["base"].number().uint64Value();
        if (section["load"]["path"].isString() && section["load"]["path"].string() == CRASH_DEMO_FIXED_PATH)
            ++loads;
    }
    EXPECT_EQ(loads, 1u);
    // Its addresses are the file's own (a bias of 0); return addresses one byte back.
    const plat::Object thread = crashedThread(records(CRWReportSignalFile)).first;
    const plat::Object::Array& frames = thread["stacktrace"].array();
    std::vector<std::string> functions;
    for (size_t i = 0; i < frames.size(); ++i)
        functions.push_back(capturetest::symbolize(CRASH_DEMO_FIXED_PATH,
                                                   frames[i].number().uint64Value() - (i == 0 ? 0 : 1)));
    ASSERT_FALSE(functions.empty());
    EXPECT_EQ(functions[0], "crashDemoSegfault");
    EXPECT_TRUE(contains(functions, "main"));
}

TEST_F(CrashDemo, SignalsThatDoNotRepeatStillEndTheProcess) {
    // Sent from outside: returning from the handler would let the process run on.
    DemoRun demo = run("wait-for-kill", {}, SIGSEGV);
    EXPECT_EQ(demo.termSignal, SIGSEGV);
    const auto byName = records(CRWReportSignalFile);
    EXPECT_EQ(byName.at("signal")["code"].number().int64Value(), 0) << "sent by kill";
    EXPECT_EQ(byName.at("signal")["address"].number().uint64Value(), 0u) << "no fault address";
    expectProcessRecorded(byName);
    // Whichever thread took the signal, the main thread (listed first) was waiting in the demo. Had
    // another thread taken it, the main one was stopped, or given up on after the path's wait.
    if (readOrGivenUpInTime(byName.at("threads").at(0), 0, "the main thread", unreadThreads(),
                            std::nullopt, std::nullopt)) {
        EXPECT_TRUE(contains(functionsOnStack(demo, byName.at("threads").at(0), "crash-demo"),
                             "crashDemoWaitForKill"));
    }

    // A breakpoint trap resumes after the trap instruction.
    fs::remove_all(report);
    demo = run("trap");
    EXPECT_EQ(demo.termSignal, SIGTRAP);
    EXPECT_EQ(records(CRWReportSignalFile).at("signal")["name"].string(), "SIGTRAP");
}

TEST_F(CrashDemo, TheExceptionServerRecordsFirstAndTheFaultThenEndsTheProcess) {
    const DemoRun demo = run("mach");
    EXPECT_EQ(demo.termSignal, SIGSEGV);
    EXPECT_NE(demo.output.find("mach reply 0"), std::string::npos) << demo.output;
    const auto byName = records(CRWReportMachExceptionFile);
    EXPECT_EQ(byName.at("mach_exception")["name"].string(), "EXC_BAD_ACCESS");
    expectProcessRecorded(byName);
    // The server put the previous (default) handlers back, so the fault was not recorded again.
    EXPECT_FALSE(fs::exists(report / CRWReportSignalFile));
}

TEST_F(CrashDemo, ASecondCrashEndsTheProcessWithStatusOne) {
    const DemoRun demo = run("second-crash");
    EXPECT_EQ(demo.termSignal, 0);
    EXPECT_EQ(demo.exitStatus, 1);
    EXPECT_FALSE(fs::exists(report / CRWReportSignalFile));
}

// Two fatal signals a moment apart: two threads faulting together, and SIGSEGV sent twice from
// outside 1 to 5 ms apart. The second waits for the first recording, which is never cut short:
// every thread is in the report with its registers, and nothing allocated meanwhile. One thread
// cannot stop at all, so every recording includes the outside reader's whole wait for it; a thread
// the path gave up on (that one, or another on a crowded core) was given up on only once the path's
// own wait for that thread had run out. Threads end as the crash comes, as idle workers of the
// thread pool do: one that the path found gone is gone.
TEST_F(CrashDemo, ASecondFatalSignalWaitsForTheRecordingOfTheFirst) {
    for (const char* mode : {"two-faults", "kill-twice"}) {
        for (int round = 0; round < 20 && !HasFailure(); ++round) {
            fs::remove_all(report);
            // Counting makes the demo settle for a while first: once per mode is enough.
            std::vector<std::string> options{"--threads", "2", "--stuck-thread", "--ending-threads", "8",
                                             "--previous-handler"};
            if (round == 0) options.push_back("--count-allocations");
            const DemoRun demo = run(mode, options);
            const std::string where = std::string(mode) + " round " + std::to_string(round);
            EXPECT_EQ(demo.termSignal, SIGSEGV) << where << "\n" << demo.output;
            const std::string chained = round == 0 ? "previous 11 allocations 0 nanoseconds" : "previous 11";
            EXPECT_NE(demo.output.find(chained), std::string::npos) << where << "\n" << demo.output;
            const auto byName = records(CRWReportSignalFile);
            expectProcessRecorded(byName);
            if (byName.count("threads") == 0) continue;
            const plat::Object::Array& threads = byName.at("threads").array();
            const plat::Object::Array& names = byName.at("thread_names").array();
            size_t faulters = 0, stuckUnread = 0;
            const std::optional<uint64_t> elapsed = crashNanoseconds(demo);
            const std::map<size_t, UnreadThread> unread = unreadThreads();
            for (size_t i = 0; i < threads.size() && i < names.size(); ++i) {
                // The crashing thread is read from its own signal; the others take the stop signal
                // or are read from outside.
                const bool read =
                    readOrGivenUpInTime(threads[i], i, where + " " + names[i].string(), unread, elapsed,
                                        demo.aliveAfterRecording);
                if (names[i].string().rfind("faulter-", 0) == 0) ++faulters;
                if (names[i] == plat::Object("deaf-stuck") && !read) ++stuckUnread;
            }
            EXPECT_EQ(stuckUnread, 1u) << where;
            EXPECT_GE(threads.size(), 4u) << where;
            EXPECT_EQ(faulters, std::string(mode) == "two-faults" ? 2u : 0u) << where;
        }
    }
}

// The first recording never ends (the handler it chains to never returns): the second faulting
// thread gives up waiting and its own signal ends the process.
TEST_F(CrashDemo, ASecondFaultEndsTheProcessByItsSignalWhenTheRecordingIsStuck) {
    const DemoRun demo = run("two-faults", {"--stuck-previous-handler", "--recording-wait-ms", "200"});
    EXPECT_EQ(demo.termSignal, SIGSEGV) << demo.output;
    const std::string log = testsupport::readFile(report / "sdk.log");
    EXPECT_NE(log.find("the crash recording did not end in time"), std::string::npos) << log;
    EXPECT_EQ(log.find("crash has already occurred"), std::string::npos) << log;
}

TEST_F(CrashDemo, WritesJustBeforeACrashAreKept) {
    const DemoRun demo = run("log-then-segv");
    EXPECT_EQ(demo.termSignal, SIGSEGV);
    const plat::Object log = capturetest::section(report / CRWReportLogAFile, "log");
    EXPECT_EQ(log["msg"].string(), hex("the last words before the crash 7"));
    const plat::Object kv = capturetest::section(report / CRWReportUserIncrementalKVFile, "kv");
    EXPECT_EQ(kv["key"].string(), hex("stage"));
    EXPECT_EQ(kv["value"].string(), hex("just before the crash"));
}

} // namespace
