// Runs callbacks at a deadline. The system scheduler uses one timer thread and the real clock; the
// manual scheduler fires callbacks only when a test advances its clock.
#pragma once

#include "platform/dispatch/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace plat {

using Block = std::function<void()>;

class Scheduler {
public:
    using Token = uint64_t;
    virtual ~Scheduler() = default;
    virtual const Clock& clock() const = 0;
    // Calls `fire` once, at or after `deadline`, on the scheduler's own thread (system) or on the
    // thread that advances the clock (manual). `fire` must be quick: it usually posts to a queue.
    virtual Token schedule(TimePoint deadline, Block fire) = 0;
    // Cancels a scheduled callback that has not started; returns whether it was still pending.
    virtual bool cancel(Token token) = 0;
    // The real-time scheduler; never destroyed.
    static Scheduler& system();
};

class ManualScheduler final : public Scheduler {
public:
    ManualScheduler();
    ~ManualScheduler() override;
    const Clock& clock() const override { return clock_; }
    ManualClock& manualClock() { return clock_; }
    Token schedule(TimePoint deadline, Block fire) override;
    bool cancel(Token token) override;

    // Moves the clock forward by `d`, firing every callback whose deadline is reached, in deadline
    // order (ties in scheduling order), each with the clock set to its own deadline. Callbacks
    // scheduled by callbacks are fired too when they fall inside the window.
    void advance(Duration d);
    void advanceSeconds(double s) { advance(durationFromSeconds(s)); }
    // Number of callbacks still waiting.
    size_t pendingCount() const;

private:
    struct State;
    ManualClock clock_;
    std::unique_ptr<State> state_;
};

} // namespace plat
