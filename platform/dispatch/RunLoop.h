// The main thread's loop: it runs the main queue's blocks. The application runs it until it stops;
// tests pump it with runUntil() or drain(). A GUI installs a wake handler so that posting to the
// main queue wakes its event loop.
#pragma once

#include "platform/dispatch/Clock.h"

#include <functional>

namespace plat {

class RunLoop {
public:
    static RunLoop& main();

    // Runs main-queue blocks until stop() is called. Main thread only.
    void run();
    // Asks run() to return after the block it is running. Any thread.
    void stop();
    // Runs main-queue blocks until `predicate` is true (checked before the first block and after
    // each) or `timeout` of real time has passed; returns the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, Duration timeout = std::chrono::seconds(5));
    // Runs main-queue blocks until the queue is empty, including blocks those blocks post; returns
    // how many ran. Does not wait for blocks posted later from other threads.
    size_t drain();
    // Runs at most one queued block; returns whether one ran.
    bool runOne();
    // Waits up to `timeout` for a block to be queued (for event loops that poll).
    void waitForWork(Duration timeout);
    // Called (from any thread) whenever a block is queued for the main queue.
    void setWakeHandler(std::function<void()> handler);
    // The application's top level for exceptions that escape a main-queue block: called on the main
    // thread inside the catch, so std::current_exception() is the exception and `throw;` rethrows
    // it. True when it dealt with the exception (the loop goes on with the next block); false
    // leaves it to the default, which ends the process with a message, as it does without one.
    void setExceptionHandler(std::function<bool()> handler);

    // Number of main-queue blocks waiting.
    size_t pendingCount() const;

    struct Impl;

private:
    RunLoop();
    Impl* impl_;
};

} // namespace plat
