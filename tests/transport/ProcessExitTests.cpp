// A process that returns from main while its background work runs ends cleanly, whatever that work
// is doing: the coordinator's timer starting upload passes, an upload whose reply the server holds
// back, or a worker's first request setting up the network library. Each case runs a child process
// many times, since the exit meets the work at a different point every time. And no library whose
// code the worker queues run has a static object that the exit handlers destroy.
#include "UploadTestSupport.h"

#include "../support/LocalHTTPServer.h"
#include "../support/Process.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>

using namespace transporttest;

namespace {

constexpr int kPassRuns = 20;
// The worker's set-up lasts some 100 microseconds; main returns 0 to 500 microseconds after the
// request started, so many runs end inside it on a machine of any speed.
constexpr int kRequestRuns = 100;
constexpr int kRequestStepMicros = 5;

// Upload endpoints that answer only once the test lets them (or after a minute): every upload the
// children make is still in flight when they return from main.
class HeldUploads {
public:
    HeldUploads() {
        for (const auto& [target, path] : standin::UploadService::uploadPaths()) {
            server_.server().Post(path, [this](const httplib::Request&, httplib::Response& response) {
                std::unique_lock lock(mutex_);
                ++received_;
                const uint64_t generation = generation_;
                released_.wait_for(lock, std::chrono::minutes(1), [&] { return generation_ != generation; });
                response.status = 500;
            });
        }
    }
    ~HeldUploads() { release(); }
    std::string base() const { return server_.url(""); }
    // Answers every upload held so far.
    void release() {
        std::lock_guard lock(mutex_);
        ++generation_;
        released_.notify_all();
    }
    int received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    testsupport::LocalHTTPServer server_;
    std::mutex mutex_;
    std::condition_variable released_;
    uint64_t generation_ = 0;
    int received_ = 0;
};

class ProcessExit : public UploadTest {
protected:
    // Runs the exit child with `arguments` to its end; answers a description of how it ended that is
    // "exited 0" when it ended cleanly, with its error output when it did not.
    std::string runChild(const std::vector<std::string>& arguments,
                         const std::string& tesseraBase = "http://127.0.0.1:9") {
        const char* program = std::getenv("TRANSPORT_EXIT_CHILD");
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const std::filesystem::path errors = home.path() / "child-errors.txt";
        const pid_t pid =
            testsupport::startProcess(argv, {{kTSRTesseraBaseEnvironmentVariable, tesseraBase}}, {}, errors);
        if (pid <= 0) return "not started";
        // A broken exit can also hang (a sanitizer report racing the leak check at exit).
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return "hung";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::string ended = WIFEXITED(status) ? "exited " + std::to_string(WEXITSTATUS(status))
                                              : "killed by signal " + std::to_string(WTERMSIG(status));
        const std::string text = testsupport::readFile(errors);
        if (ended != "exited 0" || text.find("ERROR:") != std::string::npos ||
            text.find("runtime error") != std::string::npos)
            ended += ":\n" + text;
        return ended;
    }
};

} // namespace

TEST_F(ProcessExit, ReturningFromMainDuringUploadPassesEndsCleanlyAndAtOnce) {
    if (!std::getenv("TRANSPORT_EXIT_CHILD")) GTEST_SKIP() << "TRANSPORT_EXIT_CHILD is not set";
    for (int i = 0; i < 20; ++i)
        storeEvent("2102", 1001, "event-" + std::to_string(i));
    storage.drain();
    HeldUploads uploads;
    // main returns at a different point of the passes each time. A starved child may not get as far
    // as an upload in those times, so while none has been held, later runs give main twice as long
    // each, until one returns with an upload in flight.
    int millis = 0;
    for (int run = 0; run < kPassRuns || (uploads.received() == 0 && millis < 20000); ++run) {
        millis = run < kPassRuns ? 100 + 7 * run : millis * 2;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(runChild({"pass", storage.root.string(), std::to_string(millis)}, uploads.base()),
                  "exited 0")
            << "run " << run;
        EXPECT_LT(std::chrono::steady_clock::now() - start,
                  std::chrono::milliseconds(millis) + std::chrono::seconds(30))
            << "run " << run << ": the held upload held up the end";
        uploads.release();
    }
    EXPECT_GT(uploads.received(), 0) << "the children should return while an upload is in flight";
}

TEST_F(ProcessExit, ReturningFromMainWhileAWorkerMakesTheFirstRequestEndsCleanly) {
    if (!std::getenv("TRANSPORT_EXIT_CHILD")) GTEST_SKIP() << "TRANSPORT_EXIT_CHILD is not set";
    for (int run = 0; run < kRequestRuns; ++run)
        EXPECT_EQ(runChild({"request", uploadURL(1001), std::to_string(run * kRequestStepMicros)}),
                  "exited 0")
            << "run " << run;
}

TEST(ProcessExitStatics, NoLibraryTheWorkerQueuesRunHasAStaticThatExitDestroys) {
    const char* libraries = std::getenv("WORKER_LIBRARIES");
    if (!libraries) GTEST_SKIP() << "WORKER_LIBRARIES is not set";
    // A static with a destructor registers it with __cxa_atexit; such an object is destroyed at
    // exit, whoever still uses it. Singletons and tables are made with new and never destroyed.
    std::istringstream list(libraries);
    std::string destroyedAtExit; // "<library>:<object>: U __cxa_atexit" lines
    int checked = 0;
    for (std::string library; std::getline(list, library, ':'); ++checked) {
        FILE* pipe = ::popen(("nm -A -u '" + library + "' 2>&1").c_str(), "r");
        ASSERT_TRUE(pipe) << library;
        std::string output;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << output;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);)
            if (line.find("__cxa_atexit") != std::string::npos) destroyedAtExit += line + "\n";
    }
    EXPECT_EQ(destroyedAtExit, "");
    EXPECT_EQ(checked, 15);
}
