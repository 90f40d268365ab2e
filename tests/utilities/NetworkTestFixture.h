// The fixture of the network layer's tests: a private data root, the stand-in on loopback, a
// hand-set route source for reachability, a manual wall clock for the temporary files, the log
// lines and console lines captured, a small HTTP server of the test's own for replies the stand-in
// does not give (redirects, server errors), and a helper that pumps the main queue.
#pragma once

#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TestSupport.h"
#include "tests/utilities/UtilitiesLogCapture.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/log/OSLog.h"
#include "platform/net/NetworkPathMonitor.h"
#include "platform/net/SCNetworkReachability.h"
#include "standin/StandinServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

namespace utiltest {

class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SCNetworkReachabilitySetPathMonitorForTesting(routes);
        port = standin.start();
        plat::setConsoleSink([this](const std::string& line) {
            std::lock_guard guard(consoleMutex);
            console.push_back(line);
        });
    }
    void TearDown() override {
        plat::RunLoop::main().drain();
        plat::setConsoleSink(nullptr);
        standin.stop();
        plat::SCNetworkReachabilitySetPathMonitorForTesting(nullptr);
    }

    std::string standinURL(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    // Pumps the main queue until `done` holds; false after 10 s of real time.
    static bool pumpUntil(const std::function<bool()>& done) {
        return plat::RunLoop::main().runUntil(done, std::chrono::seconds(10));
    }
    std::vector<std::string> consoleLines() {
        std::lock_guard guard(consoleMutex);
        return console;
    }

    testsupport::TempHome home;
    LogCapture log;
    std::shared_ptr<plat::ManualNetworkPathMonitor> routes =
        std::make_shared<plat::ManualNetworkPathMonitor>(plat::kSCNetworkReachabilityFlagsReachable);
    plat::ManualClock clock{plat::Date::now()};
    standin::StandinServer standin;
    int port = 0;
    std::mutex consoleMutex;
    std::vector<std::string> console;
};

} // namespace utiltest
