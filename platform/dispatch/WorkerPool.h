// The process-wide pool of worker threads under every non-main queue. It grows on demand: a task
// submitted while no worker is idle starts a new thread (up to a cap), so blocks that wait on each
// other (semaphores, groups, sync) do not starve the pool. Idle workers beyond a small minimum
// exit after a few seconds; once the pool is closed for the end of the process they stay, idle.
// Internal to platform/dispatch.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace plat::detail {

class WorkerPool {
public:
    static constexpr size_t kMaxThreads = 256;
    static constexpr size_t kMinIdleThreads = 2;
    static constexpr std::chrono::seconds kIdleTimeout{5};

    // The shared pool; never destroyed.
    static WorkerPool& shared();

    // Runs `task` on a worker thread; higher QoS tasks are taken first. The task must not throw.
    void submit(std::function<void()> task, QoS qos);

    // Number of worker threads alive now (for tests and diagnostics).
    size_t threadCount() const;

    // Waits, up to `deadline`, until no task is queued or running (the calling worker's own task
    // aside); then closes the pool for good: tasks submitted later are kept but never run. Answers
    // how many tasks were still running when it closed.
    size_t drainAndClose(TimePoint deadline);
    // Whether drainAndClose has closed the pool; a task that runs many blocks stops between two.
    bool isClosed() const { return closedFlag_.load(std::memory_order_relaxed); }

private:
    WorkerPool() = default;
    void startThreadLocked();
    void workerLoop();
    bool hasTasksLocked() const;
    std::function<void()> takeTaskLocked();

    static constexpr int kLevels = 5;
    mutable std::mutex mutex_;
    std::condition_variable available_;
    std::deque<std::function<void()>> tasks_[kLevels]; // index = QoS, highest last
    std::condition_variable settled_;                  // a task ended while drainAndClose waits
    size_t queued_ = 0;
    size_t threads_ = 0;
    size_t idle_ = 0;
    size_t running_ = 0;
    bool closed_ = false;
    std::atomic<bool> closedFlag_{false};
};

} // namespace plat::detail
