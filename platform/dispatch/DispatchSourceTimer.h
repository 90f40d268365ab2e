// A repeating or one-shot timer whose handler runs on a queue. Times come from a Scheduler, so a
// test can fire it with ManualScheduler::advance. Handlers never overlap for one timer; ticks that
// fall due while a handler is still queued are merged into it.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <memory>

namespace plat {

class DispatchSourceTimer {
public:
    explicit DispatchSourceTimer(DispatchQueue queue, Scheduler& scheduler = Scheduler::system());
    ~DispatchSourceTimer(); // cancels

    DispatchSourceTimer(const DispatchSourceTimer&) = delete;
    DispatchSourceTimer& operator=(const DispatchSourceTimer&) = delete;

    // First fire after `start`, then every `interval` (none: fire once). `leeway` is how late a
    // fire may be allowed to be; it is a hint and never makes a fire early.
    void schedule(Duration start, std::optional<Duration> interval = std::nullopt,
                  Duration leeway = Duration::zero());
    void setEventHandler(Block handler);
    void setCancelHandler(Block handler);
    // Timers start suspended; resume() arms them.
    void resume();
    void suspend();
    // Stops further fires; the cancel handler runs once on the queue. Safe from any thread,
    // including the handler itself.
    void cancel();
    bool isCancelled() const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace plat
