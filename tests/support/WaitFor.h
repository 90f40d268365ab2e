// Waiting on another process, which no clock of the test drives: polls a condition every 50 ms.
// A test waits for the state it checks, with a deadline far beyond what a loaded machine needs, and
// never reads once after a fixed sleep: another process handles input when the scheduler lets it.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// How long a test waits for another process to reach a state it will reach: many times what a
// quiet machine takes, so that only a fault, not a busy machine, runs out of it.
inline constexpr std::chrono::seconds kPatience{30};

// Polls `done` until it holds or `limit` has passed; what it says last.
inline bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// waitFor with the suite's patience.
inline bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = kPatience) {
    return waitFor(done, limit);
}

// Reads `read()` until it gives `expected` or `limit` has passed; what it gave last, so that a
// failed comparison shows the value that was there instead.
template <typename T, typename Read>
T eventuallyEquals(const T& expected, Read read, std::chrono::seconds limit = kPatience) {
    T last = read();
    waitFor(
        [&] {
            if (last == expected) return true;
            last = read();
            return last == expected;
        },
        limit);
    return last;
}

} // namespace testsupport
