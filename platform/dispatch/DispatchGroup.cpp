#include "platform/dispatch/DispatchGroup.h"

#include "platform/dispatch/DispatchInternal.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace plat {

struct DispatchGroup::Impl {
    std::mutex mutex;
    std::condition_variable emptied;
    long count = 0;
    std::vector<std::pair<DispatchQueue, Block>> notifications;
};

DispatchGroup::DispatchGroup() : impl_(std::make_shared<Impl>()) {}

void DispatchGroup::enter() const {
    std::lock_guard lock(impl_->mutex);
    ++impl_->count;
}

void DispatchGroup::leave() const {
    std::vector<std::pair<DispatchQueue, Block>> ready;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->count == 0) detail::fatal("DispatchGroup::leave() called more often than enter()");
        if (--impl_->count > 0) return;
        ready.swap(impl_->notifications);
        impl_->emptied.notify_all();
    }
    for (auto& [queue, block] : ready)
        queue.async(std::move(block));
}

void DispatchGroup::notify(const DispatchQueue& queue, Block block) const {
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->count > 0) {
            impl_->notifications.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue.async(std::move(block));
}

bool DispatchGroup::wait(std::optional<Duration> timeout) const {
    // Its own reference: the last leave() may let the owner destroy the handle before this returns.
    const std::shared_ptr<Impl> impl = impl_;
    std::unique_lock lock(impl->mutex);
    const auto empty = [&impl] { return impl->count == 0; };
    if (!timeout) {
        impl->emptied.wait(lock, empty);
        return true;
    }
    return impl->emptied.wait_for(lock, std::clamp(*timeout, Duration::zero(), maxDuration()), empty);
}

long DispatchGroup::count() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->count;
}

} // namespace plat
