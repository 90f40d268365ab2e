// The fixture of the installations tests: a private data root, a stand-in on loopback that the
// address override points at, a manual scheduler whose clock times the retries and the backoff,
// the log lines captured, and helpers that wait for promises by pumping the main queue.
#pragma once

#include "installations/TSRInstallationsIDController.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/log/OSLog.h"
#include "standin/StandinServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace instest {

inline constexpr const char* kAPIKey = "ATestKeyForTheVelmoraCoreTests-01234567";
inline constexpr const char* kProjectID = "velmora-test";
inline constexpr const char* kAppID = "1:111122223333:ios:f00dcafe12345678";
inline constexpr const char* kAppName = "app-under-test";

class InstallationsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A controller of the stand-in's project with a store over the real keychain of this test's
    // home, no heartbeats, no jitter, and the manual scheduler's clock for retries and backoff.
    std::shared_ptr<TSRInstallationsIDController> makeController(const std::string& appName = kAppName);
    std::shared_ptr<TSRInstallationsAPIService> makeAPIService();

    // Pumps the main queue until the promise settles, advancing the manual clock by one second
    // whenever a retry waits on it; fails the test after 10 s of real time.
    template <typename T> void settle(const promises::Promise<T>& promise) {
        for (int turns = 0; turns < 200 && promise.isPending(); ++turns) {
            plat::RunLoop::main().runUntil(
                [&] { return !promise.isPending() || scheduler_.pendingCount() > 0; },
                std::chrono::milliseconds(50));
            if (promise.isPending() && scheduler_.pendingCount() > 0) scheduler_.advanceSeconds(1.0);
        }
        ASSERT_FALSE(promise.isPending()) << "the promise did not settle";
    }
    template <typename T> std::optional<T> valueOf(const promises::Promise<T>& promise) {
        settle(promise);
        if (auto error = promise.error()) ADD_FAILURE() << "rejected: " << reasonOf(*error);
        return promise.value();
    }
    template <typename T> plat::Error errorOf(const promises::Promise<T>& promise) {
        settle(promise);
        EXPECT_TRUE(promise.error()) << "fulfilled where a failure was expected";
        return promise.error().value_or(plat::Error());
    }
    // Runs the main queue until every promise chain in flight has settled.
    void drain();

    static std::string reasonOf(const plat::Error& error);
    // The requests the stand-in received for `method` on paths ending in `suffix`.
    std::vector<standin::RequestLogEntry> requests(const std::string& method, const std::string& suffix = "");
    // The captured log lines so far.
    std::vector<std::string> logLines();

    std::optional<testsupport::TempHome> home_;
    standin::StandinServer server_;
    plat::ManualScheduler scheduler_;

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previousSink_;
};

} // namespace instest
