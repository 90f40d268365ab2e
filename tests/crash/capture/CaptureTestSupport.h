// Shared pieces of the capture tests: a crash context started for a fresh report folder with
// capture's start-up hooks, readers of the record files it leaves, and a child-process runner for
// the crash demo.
#pragma once

#include "crash/capture/CRWThreadStopper.h"
#include "crash/record/CRWContextInitData.h"
#include "platform/object/Object.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace capturetest {

struct ContextOptions {
    bool handlers = false; // signal handlers, exception server and terminate handler
    bool errorsEnabled = true;
    bool customExceptionsEnabled = true;
    uint32_t maxCustomExceptions = 8;
    uint32_t maxLogSize = 65536;
    uint32_t maxKeyValues = 64;
};

// A started crash context (initialized and protected) for a report folder in a temporary home.
// With handlers, everything they changed in the process is put back when the object goes.
class CaptureContext {
public:
    explicit CaptureContext(ContextOptions options = {});
    ~CaptureContext();
    CaptureContext(const CaptureContext&) = delete;
    CaptureContext& operator=(const CaptureContext&) = delete;

    bool started() const { return started_; }
    const std::filesystem::path& report() const { return report_; }
    std::filesystem::path file(const char* name) const { return report_ / name; }
    std::string logText() const { return testsupport::readFile(report_ / "sdk.log"); }
    // Waits until the logging queue has run everything queued so far, compactions included.
    void drainLoggingQueue() const;

private:
    testsupport::TempHome home_;
    std::filesystem::path report_;
    CRWContextInitData data_;
    bool handlers_;
    bool started_ = false;
};

// The process goes on with other tests: the signal handlers, the terminate handler, the exception
// server and the alternate stack that the running crash context installed leave.
void removeCaptureHandlers();

// The crash path's waits for other threads set to the suite's patience while it lives: a test that
// must see every thread read sets those deadlines itself instead of racing them on a crowded core.
class PatientCrashWaits {
public:
    PatientCrashWaits();
    ~PatientCrashWaits();
    PatientCrashWaits(const PatientCrashWaits&) = delete;
    PatientCrashWaits& operator=(const PatientCrashWaits&) = delete;
    // The waits themselves, for a stop a test makes on its own.
    static CRWThreadStopWaits waits();

private:
    CRWThreadStopWaits previous_;
};

// A thread that a crash left unread, as the crash's internal log gives it: the reason its record
// has as well and, for a thread given up on once a wait for it ran out, how long the crash path
// waited for it and how long that wait was meant to last (whole milliseconds).
struct UnreadThread {
    int64_t tid = 0;
    std::string reason;
    std::optional<uint64_t> waitedMilliseconds;
    std::optional<uint64_t> dueMilliseconds;
};
// The unread threads that an sdk.log names, by their index in the record's "threads" section.
std::map<size_t, UnreadThread> unreadThreads(const std::string& log);

// The ids of this process's threads now, from its task folder.
std::set<int64_t> threadsOfThisProcess();

// The sections of a record file, in file order.
std::vector<plat::Object> sections(const std::filesystem::path& path);
// The value of the first section named `name`; absent when there is none.
plat::Object section(const std::filesystem::path& path, const std::string& name);
// Lower-case hex of the bytes, as the records write strings.
std::string hex(const std::string& text);

// A finished run of the crash demo.
struct DemoRun {
    int termSignal = 0; // the signal that ended it, 0 when it exited
    int exitStatus = -1;
    std::string output;
    std::map<std::string, uint64_t> imageBases; // path -> load base, from its "image" lines
    // The threads still there once the recording was over, from the chained handler's first
    // "alive" line; none without such a line.
    std::optional<std::set<int64_t>> aliveAfterRecording;
};
// Runs crash-demo (or `program`, a build of it) with `arguments` (mode, report folder, options) and
// waits for it. With `signalWhenReady`, that signal is sent to the child once it printed "ready".
DemoRun runDemo(const std::vector<std::string>& arguments, int signalWhenReady = 0,
                const char* program = CRASH_DEMO_PATH);
// The function name at `address` of the image at `path`, from the system symbolizer.
std::string symbolize(const std::string& path, uint64_t offset);

} // namespace capturetest
