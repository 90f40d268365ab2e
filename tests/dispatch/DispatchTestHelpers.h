// Small helpers for the dispatch tests: polling with a deadline instead of fixed sleeps.
#pragma once

#include "platform/dispatch/Clock.h"

#include <chrono>
#include <thread>

namespace dispatchtest {

using namespace std::chrono_literals;

// Polls `predicate` until it holds or `timeout` passes; returns its last value.
template <typename P> bool eventually(P predicate, plat::Duration timeout = std::chrono::seconds(5)) {
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
