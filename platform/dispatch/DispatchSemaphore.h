// A counting semaphore. Copies refer to the same semaphore.
#pragma once

#include "platform/dispatch/Clock.h"

#include <memory>
#include <optional>

namespace plat {

class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long value = 0);
    // Increments the count, waking one waiter; returns whether a waiter was woken.
    bool signal() const;
    // Decrements the count, waiting while it is zero, up to `timeout` (real time); true on success.
    bool wait(std::optional<Duration> timeout = std::nullopt) const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace plat
