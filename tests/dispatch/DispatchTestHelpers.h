// Small helpers for the dispatch tests: polling with a deadline instead of fixed sleeps.
#pragma once

#include "platform/dispatch/Clock.h"

#include <chrono>
#include <thread>

namespace dispatchtest {

using namespace std::chrono_literals;

// How long a test waits for a state that comes in milliseconds on a quiet machine: only a fault,
// not a crowded one, runs out of it.
inline constexpr std::chrono::seconds kPatience{30};

// Polls `predicate` until it holds or `timeout` passes; returns its last value.
template <typename P> bool eventually(P predicate, plat::Duration timeout = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return predicate();
        std::this_thread::sleep_for(100us);
    }
    return true;
}

inline plat::Duration since(std::chrono::steady_clock::time_point start) {
    return std::chrono::steady_clock::now() - start;
}

} // namespace dispatchtest
