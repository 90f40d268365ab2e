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

bool DispatchSemaphore::signal() const {
    std::lock_guard lock(impl_->mutex);
    if (++impl_->value > 0) return false;
    ++impl_->wakeups;
    impl_->cv.notify_one();
    return true;
}

bool DispatchSemaphore::wait(std::optional<Duration> timeout) const {
    std::unique_lock lock(impl_->mutex);
    if (--impl_->value >= 0) return true;
    const auto woken = [this] { return impl_->wakeups > 0; };
    bool got;
    if (timeout)
        got = impl_->cv.wait_for(lock, std::clamp(*timeout, Duration::zero(), maxDuration()), woken);
    else
        got = (impl_->cv.wait(lock, woken), true);
    if (got) {
        --impl_->wakeups;
        return true;
    }
    ++impl_->value; // give back this waiter's claim
    return false;
}

} // namespace plat
