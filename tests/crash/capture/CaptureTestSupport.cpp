#include "tests/crash/capture/CaptureTestSupport.h"

#include "crash/capture/CRWCaptureStartup.h"
#include "crash/capture/CRWSignal.h"
#include "crash/image/CRWBinaryImage.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWFileRead.h"
#include "platform/dispatch/DispatchThreads.h"
#include "platform/mach/MachException.h"
#include "tests/crash/support/ChildProcess.h"
#include "tests/support/ThreadState.h"

#include <chrono>
#include <csignal>
#include <exception>
#include <regex>
#include <sstream>
#include <thread>

namespace capturetest {

CaptureContext::CaptureContext(ContextOptions options) : handlers_(options.handlers) {
    report_ = home_.path() / "reports" / "0123456789abcdef0123456789abcdef";
    std::filesystem::create_directories(report_);
    data_.setRootPath(report_.string());
    data_.setPreviouslyCrashedFileRootPath(report_.parent_path().string());
    data_.setSessionId("0123456789abcdef0123456789abcdef");
    data_.setErrorsEnabled(options.errorsEnabled);
    data_.setCustomExceptionsEnabled(options.customExceptionsEnabled);
    data_.setMaxCustomExceptions(options.maxCustomExceptions);
    data_.setMaxLogSize(options.maxLogSize);
    data_.setMaxKeyValues(options.maxKeyValues);

    CRWContextSetStartupHooks({});
    CRWBinaryImageInstallStartupHooks();
    CRWContextStartupHooks hooks = CRWCaptureStartupHooks(CRWContextCurrentStartupHooks());
    hooks.debuggerAttached = [] { return false; };
    if (!handlers_)
        hooks.initializingThread = hooks.signals = hooks.machExceptions = hooks.exceptions = nullptr;
    CRWContextSetStartupHooks(hooks);
    started_ = CRWContextInitialize(&data_);
    started_ = started_ && testsupport::waitUntil([] { return CRWContextIsInitialized(); });
    CRWContextSetStartupHooks({});
    // The image table is filled on its own queue.
    CRWBinaryImageQueue().sync([] {});
}

CaptureContext::~CaptureContext() {
    drainLoggingQueue();
    if (handlers_) removeCaptureHandlers();
}

void removeCaptureHandlers() {
    if (_crwContext.readonly == nullptr) return;
    const CRWReadOnlyContext* readonly = _crwContext.readonly;
    CRWSignalSafeInstallPreexistingHandlers(&readonly->signal, -1, nullptr, nullptr);
    std::set_terminate(readonly->exception.originalTerminateHandler);
    plat::mach::destroyPort(readonly->machException.port);
    plat::mach::resetExceptionPortsForTesting();
    plat::setDispatchThreadHooks({});
    stack_t previous = readonly->signal.originalStack;
    if (previous.ss_sp == nullptr) previous.ss_flags = SS_DISABLE;
    sigaltstack(&previous, nullptr);
}

void CaptureContext::drainLoggingQueue() const {
    // Twice: a compaction or swap queued by the first round runs before the second returns.
    for (int round = 0; round < 3; ++round)
        CRWLoggingQueue().sync([] {});
}

PatientCrashWaits::PatientCrashWaits() : previous_(CRWThreadStopperCrashWaits()) {
    CRWThreadStopperSetCrashWaitsForTesting(waits());
}

PatientCrashWaits::~PatientCrashWaits() {
    CRWThreadStopperSetCrashWaitsForTesting(previous_);
}

CRWThreadStopWaits PatientCrashWaits::waits() {
    const auto patience = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(testsupport::kPatience).count());
    return {patience, patience, patience};
}

std::map<size_t, UnreadThread> unreadThreads(const std::string& log) {
    static const std::regex line(
        R"(Thread (-?\d+) \(index (\d+)\): ([^,\n]+)(, given up after (\d+) ms of its (\d+) ms wait)?\n)");
    std::map<size_t, UnreadThread> unread;
    for (std::sregex_iterator at(log.begin(), log.end(), line), end; at != end; ++at) {
        UnreadThread& thread = unread[std::stoul((*at)[2])];
        thread.tid = std::stoll((*at)[1]);
        thread.reason = (*at)[3];
        if ((*at)[4].matched) {
            thread.waitedMilliseconds = std::stoull((*at)[5]);
            thread.dueMilliseconds = std::stoull((*at)[6]);
        }
    }
    return unread;
}

std::set<int64_t> threadsOfThisProcess() {
    std::set<int64_t> tids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        tids.insert(std::stoll(entry.path().filename().string()));
    return tids;
}

std::vector<plat::Object> sections(const std::filesystem::path& path) {
    auto read = CRWFileReadSections(path.c_str(), false);
    return read ? std::vector<plat::Object>(read->begin(), read->end()) : std::vector<plat::Object>{};
}

plat::Object section(const std::filesystem::path& path, const std::string& name) {
    for (const plat::Object& s : sections(path))
        if (!s[name].isAbsent()) return s[name];
    return {};
}

std::string hex(const std::string& text) {
    return CRWFileHexEncodeString(text);
}

DemoRun runDemo(const std::vector<std::string>& arguments, int signalWhenReady, const char* program) {
    // The sanitizer must leave the fatal signals to the demo's own handlers.
    const crashtest::ChildRun child =
        crashtest::runChild(program, arguments,
                            {"ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
                             "handle_abort=0:detect_leaks=0"},
                            signalWhenReady);
    DemoRun run;
    run.termSignal = child.termSignal;
    run.exitStatus = child.exitStatus;
    run.output = child.output;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("alive", 0) == 0 && !run.aliveAfterRecording) {
            std::istringstream tids(line.substr(5));
            run.aliveAfterRecording.emplace();
            for (int64_t tid; tids >> tid;)
                run.aliveAfterRecording->insert(tid);
        }
        if (line.rfind("image ", 0) != 0) continue;
        const size_t space = line.rfind(' ');
        run.imageBases[line.substr(6, space - 6)] = std::stoull(line.substr(space + 1), nullptr, 16);
    }
    return run;
}

std::string symbolize(const std::string& path, uint64_t offset) {
    std::ostringstream command;
    command << "addr2line -f -e '" << path << "' 0x" << std::hex << offset;
    const std::string output = testsupport::runCommand(command.str());
    return output.substr(0, output.find('\n'));
}

} // namespace capturetest
