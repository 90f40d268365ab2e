// Waiting on another process, which no clock of the test drives: polls a condition every 50 ms.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// Polls `done` until it holds or `limit` has passed; what it says last.
inline bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

} // namespace testsupport
