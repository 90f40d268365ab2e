#include "platform/dispatch/OperationQueue.h"

#include "platform/dispatch/DispatchInternal.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace plat {

struct OperationQueue::Impl : std::enable_shared_from_this<OperationQueue::Impl> {
    Impl(std::string n, QoS qos)
        : name(std::move(n)), queue(name, DispatchQueue::Attributes::Concurrent, qos) {}

    const std::string name;
    const DispatchQueue queue;

    mutable std::mutex mutex;
    std::condition_variable idle;
    std::deque<Block> waiting;
    size_t running = 0;
    int maxCount = kDefaultMaxConcurrentOperationCount;

    bool mayStartLocked() const {
        return !waiting.empty() && (maxCount <= 0 || running < static_cast<size_t>(maxCount));
    }

    // Takes the blocks that may start now; the caller posts them outside the lock.
    std::vector<Block> startableLocked() {
        std::vector<Block> start;
        while (mayStartLocked()) {
            start.push_back(std::move(waiting.front()));
            waiting.pop_front();
            ++running;
        }
        return start;
    }

    void post(std::vector<Block> start) {
        for (Block& block : start) {
            queue.async([self = shared_from_this(), block = std::move(block)] {
                block();
                self->finished();
            });
        }
    }

    void finished() {
        std::vector<Block> next;
        {
            std::lock_guard lock(mutex);
            --running;
            next = startableLocked();
            if (running == 0 && waiting.empty()) idle.notify_all();
        }
        post(std::move(next));
    }
};

OperationQueue::OperationQueue(std::string name, QoS qos)
    : impl_(std::make_shared<Impl>(std::move(name), qos)) {}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    std::vector<Block> start;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->maxCount = count;
        start = impl_->startableLocked();
    }
    impl_->post(std::move(start));
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->maxCount;
}

void OperationQueue::addOperation(Block block) {
    if (!block) detail::fatal("OperationQueue::addOperation on '" + impl_->name + "' with an empty block");
    std::vector<Block> start;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->waiting.push_back(std::move(block));
        start = impl_->startableLocked();
    }
    impl_->post(std::move(start));
}

void OperationQueue::waitUntilAllOperationsAreFinished() const {
    if (impl_->queue.isCurrent()) {
        detail::fatal("OperationQueue::waitUntilAllOperationsAreFinished called from an operation of '" +
                      impl_->name + "' would wait for itself");
    }
    std::unique_lock lock(impl_->mutex);
    impl_->idle.wait(lock, [this] { return impl_->running == 0 && impl_->waiting.empty(); });
}

void OperationQueue::cancelAll() {
    std::deque<Block> dropped; // destroyed outside the lock: captures may do anything
    std::lock_guard lock(impl_->mutex);
    dropped.swap(impl_->waiting);
    if (impl_->running == 0) impl_->idle.notify_all();
}

size_t OperationQueue::operationCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->waiting.size() + impl_->running;
}

const std::string& OperationQueue::name() const {
    return impl_->name;
}

} // namespace plat
