#include "platform/dispatch/WorkerPool.h"

#include "platform/dispatch/DispatchInternal.h"

#include <system_error>
#include <thread>

namespace plat::detail {

namespace {
// Whether the calling thread is a worker running a task, so that a task waiting for the pool to
// drain does not wait for itself.
thread_local bool runningTask = false;
} // namespace

WorkerPool& WorkerPool::shared() {
    static WorkerPool* pool = [] {
        registerBackgroundWorkEndAtExit();
        return new WorkerPool();
    }();
    return *pool;
}

void WorkerPool::submit(std::function<void()> task, QoS qos) {
    std::lock_guard lock(mutex_);
    tasks_[static_cast<int>(qos)].push_back(std::move(task));
    ++queued_;
    if (closed_) return; // kept, never run: the process is ending
    // Idle workers already woken but not yet running still count in idle_, so compare against the
    // whole backlog rather than "is anyone idle".
    if (queued_ > idle_ && threads_ < kMaxThreads) startThreadLocked();
    if (idle_ > 0) available_.notify_one();
}

size_t WorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

void WorkerPool::startThreadLocked() {
    try {
        std::thread([this] { workerLoop(); }).detach();
        ++threads_;
    } catch (const std::system_error&) {
        // Out of threads: the queued task waits for a running worker. With none at all nothing
        // would ever run it, so that is fatal.
        if (threads_ == 0) fatal("cannot start a dispatch worker thread");
    }
}

bool WorkerPool::hasTasksLocked() const {
    return queued_ > 0 && !closed_;
}

size_t WorkerPool::drainAndClose(TimePoint deadline) {
    std::unique_lock lock(mutex_);
    const size_t own = runningTask ? 1 : 0;
    settled_.wait_until(lock, deadline, [&] { return queued_ == 0 && running_ <= own; });
    closed_ = true;
    closedFlag_.store(true);
    return running_ - own;
}

std::function<void()> WorkerPool::takeTaskLocked() {
    for (int level = kLevels - 1; level >= 0; --level) {
        if (!tasks_[level].empty()) {
            std::function<void()> task = std::move(tasks_[level].front());
            tasks_[level].pop_front();
            --queued_;
            return task;
        }
    }
    return {};
}

void WorkerPool::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!hasTasksLocked()) {
            ++idle_;
            const bool woke = available_.wait_for(lock, kIdleTimeout, [this] { return hasTasksLocked(); });
            --idle_;
            // A closed pool keeps its threads: one ending now would run its thread hooks while
            // the process tears down what they use.
            if (!woke && threads_ > kMinIdleThreads && !closed_) break;
            if (!woke) continue;
        }
        std::function<void()> task = takeTaskLocked();
        ++running_;
        lock.unlock();
        dispatchThreadRefreshHooks();
        runningTask = true;
        task();
        task = nullptr; // destroy captures before taking the lock again
        runningTask = false;
        lock.lock();
        --running_;
        settled_.notify_all();
    }
    --threads_;
    lock.unlock();
    dispatchThreadEnded();
}

} // namespace plat::detail
