// The desktop connection and the application's one event loop. Posting to the main queue wakes
// the loop; each turn runs the queued main-queue blocks, hands window input to the windows' event
// handlers, draws the windows that need a frame, and then waits for input or work. Only made when
// a display is reachable ($DISPLAY set and the window library starts); without one the
// application runs the main queue's own loop and no window is drawn. Main thread only, except
// stop(). Created on first use, never destroyed.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/render/Surface.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace plat::render {

class GlWindow;

class WindowSystem {
public:
    // Whether windows can be made. Starts the window library on the first call that finds
    // $DISPLAY set; a failed start is final for the process.
    static bool available();
    // The window system; only when available().
    static WindowSystem& shared();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    std::unique_ptr<Surface> createWindow(const WindowOptions& options);
    size_t windowCount() const { return windows_.size(); }

    // One turn of the loop: runs what is ready, draws, then waits at most `maxWait` for input or a
    // post when there is nothing to do, and handles what ended the wait.
    void runOnce(Duration maxWait = std::chrono::milliseconds(250));
    // Turns the loop until stop() is called.
    void run();
    // Asks a run() in progress to return after its current turn. Any thread.
    void stop();
    // Turns the loop until `predicate` holds (checked before each turn) or `timeout` passes;
    // returns the predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, Duration timeout = std::chrono::seconds(5));

    // How many turns have waited for events so far (tests check that the loop really slept).
    uint64_t waitCount() const { return waits_; }

    // Window bookkeeping, for GlWindow.
    void add(GlWindow* window);
    void remove(GlWindow* window);

private:
    WindowSystem() = default;
    bool alive(GlWindow* window) const;
    size_t runQueuedBlocks();
    void deliverInput();
    // Gives freed heap pages back to the system while the loop idles.
    void releaseFreedMemory();
    std::vector<GlWindow*> windows_;
    TimePoint lastTrim_{};
    std::atomic<bool> stopRequested_{false};
    std::atomic<int> runDepth_{0};
    uint64_t waits_ = 0;
};

} // namespace plat::render
