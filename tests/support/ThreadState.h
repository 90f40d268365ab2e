// Waiting for another thread of the test process to reach a state: polled every millisecond, since
// such a state is reached in microseconds on a quiet machine and a test must not pay 50 ms each
// time, with the suite's patience as the deadline, which only a fault runs out of.
#pragma once

#include "tests/support/WaitFor.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <sys/syscall.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

// Polls `done` every millisecond until it holds or `limit` has passed; what it says last.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// The system call that `thread` (of this process) is blocked in now, from
// /proc/self/task/<thread>/syscall; -1 while it runs or when that cannot be read.
inline long blockedSystemCall(pid_t thread) {
    const std::string path = "/proc/self/task/" + std::to_string(thread) + "/syscall";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return -1;
    long number = -1;
    if (std::fscanf(file, "%ld", &number) != 1) number = -1; // "running" is not a number
    std::fclose(file);
    return number;
}

// Waits until `thread` is blocked in one of `calls` (system call numbers).
inline bool waitUntilBlockedIn(pid_t thread, std::initializer_list<long> calls,
                               std::chrono::seconds limit = kPatience) {
    return waitUntil(
        [thread, calls] {
            const long call = blockedSystemCall(thread);
            for (long expected : calls)
                if (call == expected) return true;
            return false;
        },
        limit);
}

// Waits until `thread` is blocked in poll (the way a port or socket receive waits for data).
inline bool waitUntilBlockedInPoll(pid_t thread, std::chrono::seconds limit = kPatience) {
#if defined(SYS_poll)
    return waitUntilBlockedIn(thread, {SYS_poll, SYS_ppoll}, limit);
#else
    return waitUntilBlockedIn(thread, {SYS_ppoll}, limit);
#endif
}

// Waits until `thread` sleeps on a lock or a condition (a futex wait): it waits for another thread.
inline bool waitUntilBlockedOnALock(pid_t thread, std::chrono::seconds limit = kPatience) {
    return waitUntilBlockedIn(thread, {SYS_futex}, limit);
}

} // namespace testsupport
