// The launch wait against child processes that act as a launch can: blocked for good, busy for a
// while, busy for ever, or ended.
#include "tests/support/LaunchWait.h"
#include "tests/support/Process.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::LaunchPatience;
using testsupport::waitForLaunch;

class LaunchWait : public ::testing::Test {
protected:
    void TearDown() override {
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
        }
        child_ = -1;
        std::filesystem::remove(done_);
    }
    // A child that spins on its main thread for `busy` (for ever when zero), then makes `done_`.
    void spin(std::chrono::milliseconds busy) {
        const std::string path = done_.string();
        child_ = ::fork();
        if (child_ == 0) {
            const auto end = std::chrono::steady_clock::now() + busy;
            while (busy == 0ms || std::chrono::steady_clock::now() < end) {
            }
            ::close(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
            ::_exit(0);
        }
        ASSERT_GT(child_, 0);
    }
    bool made() const { return ::access(done_.c_str(), F_OK) == 0; }

    testsupport::TempHome home_;
    std::filesystem::path done_ = home_.path() / "done", log_ = home_.path() / "log.txt";
    pid_t child_ = -1;
};

TEST_F(LaunchWait, ABlockedLaunchFailsAfterTheStallSayingWhereItWaits) {
    child_ = testsupport::startProcess({"/bin/sh", "-c", "echo window up soon; exec sleep 600"}, {}, log_);
    ASSERT_GT(child_, 0);
    const auto started = std::chrono::steady_clock::now();
    const auto result = waitForLaunch(child_, [&] { return made(); }, {log_}, {.stall = 2s, .outer = 60s});
    ASSERT_FALSE(result);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    const std::string text = result.message();
    for (const char* said : {"made no progress", "S (sleeping)", "kernel wait channel: ", "nanosleep(",
                             "called from: /", "libc.so", "window up soon", "CPU time grew by"})
        EXPECT_NE(text.find(said), std::string::npos) << "no \"" << said << "\" in:\n" << text;
}

// The test's own check hangs (on a stuck display, say): the launch is described meanwhile.
TEST_F(LaunchWait, ACheckThatDoesNotComeBackHasTheLaunchDescribedMeanwhile) {
    child_ = testsupport::startProcess({"/bin/sh", "-c", "echo window up soon; exec sleep 600"}, {}, log_);
    ASSERT_GT(child_, 0);
    ::testing::internal::CaptureStderr();
    const auto result =
        waitForLaunch(child_, [] { return std::this_thread::sleep_for(5s), true; }, {log_}, {.stall = 1s});
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(result);
    for (const char* part : {"check of the launch's state has not come back", "nanosleep(", "window up soon"})
        EXPECT_NE(said.find(part), std::string::npos) << "no \"" << part << "\" in:\n" << said;
}

TEST_F(LaunchWait, ABusyLaunchIsGivenTimeBeyondTheStallButNotBeyondTheOuterBound) {
    ASSERT_NO_FATAL_FAILURE(spin(6s));
    EXPECT_TRUE(waitForLaunch(child_, [&] { return made(); }, {}, {.stall = 2s, .outer = 120s}));
    TearDown();
    ASSERT_NO_FATAL_FAILURE(spin(0ms));
    const auto result = waitForLaunch(child_, [&] { return made(); }, {}, {.stall = 2s, .outer = 4s});
    ASSERT_FALSE(result);
    const std::string text = result.message();
    EXPECT_NE(text.find("the outer bound of 4.0 s passed"), std::string::npos) << text;
    EXPECT_NE(text.find(": R (running)"), std::string::npos) << text;
}

TEST_F(LaunchWait, ALaunchThatEndsFailsAtOnceWithItsStatus) {
    child_ = testsupport::startProcess({"/bin/sh", "-c", "echo cannot open the display; exit 3"}, {}, log_);
    const auto result = waitForLaunch(child_, [&] { return made(); }, {log_}, {.stall = 60s, .outer = 60s});
    ASSERT_FALSE(result);
    const std::string text = result.message();
    EXPECT_NE(text.find("ended first (exit status 3)"), std::string::npos) << text;
    EXPECT_NE(text.find("cannot open the display"), std::string::npos) << text;
}

} // namespace
