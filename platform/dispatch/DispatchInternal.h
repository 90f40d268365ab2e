// Shared internals of the dispatch layer: the fatal-error helper, the per-thread stack of running
// queues, and the main queue's hand-off to the RunLoop. Not for use outside platform/dispatch.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <string>
#include <vector>

namespace plat::detail {

// Prints "plat::dispatch: <message>" to stderr and aborts. For misuse that would otherwise hang
// or corrupt state (sync onto the current queue, unbalanced leave, ...).
[[noreturn]] void fatal(const std::string& message);

// Runs a block that must not throw; an escaping exception is reported with `where` and aborts,
// unless `handler` (called inside the catch) answers that it dealt with it.
void runGuarded(const Block& block, const char* where, const std::string& label,
                const std::function<bool()>* handler = nullptr);

// The queues whose blocks the calling thread is running, innermost last. Sync nests; a main-queue
// sync also carries the waiting thread's stack so that cross-thread deadlocks are still caught.
using QueueStack = std::vector<DispatchQueue::Impl*>;
QueueStack& currentQueueStack();

// The label text of a queue (DispatchQueue.cpp).
const char* queueLabel(const DispatchQueue::Impl* queue);
// Makes the innermost queue of the calling thread's stack its published label (DispatchThreads.h).
void publishCurrentQueueLabel();
// On threads the dispatch layer starts: runs the `started` hook when the hooks changed since the
// thread last looked, and the owed `finished` hook when the thread ends.
void dispatchThreadRefreshHooks();
void dispatchThreadEnded();

// Pushes queues onto the calling thread's stack for the lifetime of the object.
class ScopedQueues {
public:
    explicit ScopedQueues(DispatchQueue::Impl* queue);
    ScopedQueues(const QueueStack& inherited, DispatchQueue::Impl* queue);
    ~ScopedQueues();
    ScopedQueues(const ScopedQueues&) = delete;
    ScopedQueues& operator=(const ScopedQueues&) = delete;

private:
    size_t previousSize_;
};

// One block for the main queue. `inherited` is the stack of a thread that waits in main().sync.
struct MainItem {
    Block block;
    QueueStack inherited;
};
// Queues a block on the main queue and calls the wake handler (RunLoop.cpp).
void postToMainQueue(MainItem item);

// Makes endBackgroundWork an at-exit step of this process, once; called when the layer first sets
// up its threads (ProcessExit.cpp).
void registerBackgroundWorkEndAtExit();
// Stops the real-time scheduler for good: pending callbacks never fire. Returns once a callback
// that is running has returned, unless the caller is that callback (Scheduler.cpp).
void stopSystemScheduler();

} // namespace plat::detail
