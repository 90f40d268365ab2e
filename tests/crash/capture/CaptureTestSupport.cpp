#include "tests/crash/capture/CaptureTestSupport.h"

#include "crash/capture/CRWCaptureStartup.h"
#include "crash/capture/CRWSignal.h"
#include "crash/image/CRWBinaryImage.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWFileRead.h"
#include "platform/dispatch/DispatchThreads.h"
#include "platform/mach/MachException.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

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
    for (int i = 0; started_ && i < 500 && !CRWContextIsInitialized(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    started_ = started_ && CRWContextIsInitialized();
    CRWContextSetStartupHooks({});
    // The image table is filled on its own queue.
    CRWBinaryImageQueue().sync([] {});
}

CaptureContext::~CaptureContext() {
    drainLoggingQueue();
    if (!handlers_ || _crwContext.readonly == nullptr) return;
    // The process goes on with other tests: the handlers, the exception server and the alternate
    // stack of this context leave with it.
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

DemoRun runDemo(const std::vector<std::string>& arguments, int signalWhenReady) {
    DemoRun run;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return run;
    std::vector<std::string> args{CRASH_DEMO_PATH};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The sanitizer must leave the fatal signals to the demo's own handlers.
    std::vector<std::string> environment{"ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:"
                                         "handle_sigill=0:handle_abort=0:detect_leaks=0"};
    for (char** e = environ; *e != nullptr; ++e)
        if (strncmp(*e, "ASAN_OPTIONS=", 13) != 0) environment.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, CRASH_DEMO_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool signalled = false;
    char buffer[4096];
    for (;;) {
        struct pollfd poller {
            pipeEnds[0], POLLIN, 0
        };
        if (poll(&poller, 1, 200) > 0) {
            const ssize_t count = read(pipeEnds[0], buffer, sizeof(buffer));
            if (count <= 0) break;
            run.output.append(buffer, static_cast<size_t>(count));
        }
        if (signalWhenReady != 0 && !signalled && run.output.find("ready\n") != std::string::npos) {
            kill(child, signalWhenReady);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) run.termSignal = WTERMSIG(status);
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
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
