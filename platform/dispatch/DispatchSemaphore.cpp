#include "platform/dispatch/DispatchSemaphore.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace plat {

// The count goes negative while threads wait, as in the system's semaphores: -n means n waiters.
// `wakeups` are signals handed to waiters and not yet taken, so a waiter that times out can tell
// whether it was given one.
struct DispatchSemaphore::Impl {
    std::mutex mutex;
    std::condition_variable cv;
    long value;
    long wakeups = 0;
    explicit Impl(long v) : value(v) {}
};

DispatchSemaphore::DispatchSemaphore(long value) : impl_(std::make_shared<Impl>(value)) {}

// Both calls work on their own reference to the state: the thread a signal wakes may destroy the
// handle (often a local its owner captured by reference) before either call has returned.
bool DispatchSemaphore::signal() const {
    const std::shared_ptr<Impl> impl = impl_;
    std::lock_guard lock(impl->mutex);
    if (++impl->value > 0) return false;
    ++impl->wakeups;
    impl->cv.notify_one();
    return true;
}

bool DispatchSemaphore::wait(std::optional<Duration> timeout) const {
    const std::shared_ptr<Impl> impl = impl_;
    std::unique_lock lock(impl->mutex);
    if (--impl->value >= 0) return true;
    const auto woken = [&impl] { return impl->wakeups > 0; };
    bool got;
    if (timeout)
        got = impl->cv.wait_for(lock, std::clamp(*timeout, Duration::zero(), maxDuration()), woken);
    else
        got = (impl->cv.wait(lock, woken), true);
    if (got) {
        --impl->wakeups;
        return true;
    }
    ++impl->value; // give back this waiter's claim
    return false;
}

} // namespace plat
