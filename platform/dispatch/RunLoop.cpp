#include "platform/dispatch/RunLoop.h"

#include "platform/dispatch/DispatchInternal.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace plat {

struct RunLoop::Impl {
    mutable std::mutex mutex;
    std::condition_variable posted;
    std::deque<detail::MainItem> items;
    std::shared_ptr<const std::function<void()>> wakeHandler;
    std::shared_ptr<const std::function<bool()>> exceptionHandler;
    int runDepth = 0; // nested run() calls on the main thread
    bool stopRequested = false;

    void post(detail::MainItem item) {
        std::shared_ptr<const std::function<void()>> wake;
        {
            std::lock_guard lock(mutex);
            items.push_back(std::move(item));
            wake = wakeHandler;
        }
        posted.notify_all();
        if (wake && *wake) (*wake)();
    }

    std::optional<detail::MainItem> take() {
        std::lock_guard lock(mutex);
        if (items.empty()) return std::nullopt;
        detail::MainItem item = std::move(items.front());
        items.pop_front();
        return item;
    }

    static void runItem(const detail::MainItem& item);

    static void requireMainThread(const char* operation) {
        if (!isMainThread()) {
            detail::fatal(std::string("RunLoop::") + operation +
                          " must be called on the main thread (main-queue blocks run only there)");
        }
    }
};

namespace {

// The main queue's storage, reachable from DispatchQueue without going through RunLoop's private
// members. Never destroyed.
RunLoop::Impl& mainLoopImpl() {
    static RunLoop::Impl* impl = new RunLoop::Impl();
    return *impl;
}

} // namespace

void RunLoop::Impl::runItem(const detail::MainItem& item) {
    std::shared_ptr<const std::function<bool()>> handler;
    {
        Impl& loop = mainLoopImpl();
        std::lock_guard lock(loop.mutex);
        handler = loop.exceptionHandler;
    }
    detail::ScopedQueues scope(item.inherited, DispatchQueue::main().impl().get());
    detail::runGuarded(item.block, "block", "main", handler.get());
}

RunLoop& RunLoop::main() {
    static RunLoop* loop = new RunLoop();
    return *loop;
}

RunLoop::RunLoop() : impl_(&mainLoopImpl()) {}

void RunLoop::run() {
    Impl::requireMainThread("run()");
    {
        std::lock_guard lock(impl_->mutex);
        ++impl_->runDepth;
    }
    for (;;) {
        std::optional<detail::MainItem> item;
        {
            std::unique_lock lock(impl_->mutex);
            impl_->posted.wait(lock, [&] { return impl_->stopRequested || !impl_->items.empty(); });
            if (impl_->stopRequested) {
                impl_->stopRequested = false;
                --impl_->runDepth;
                return;
            }
            item = std::move(impl_->items.front());
            impl_->items.pop_front();
        }
        Impl::runItem(*item);
    }
}

void RunLoop::stop() {
    {
        std::lock_guard lock(impl_->mutex);
        // Like the system's run loops, stop() only ends a run() in progress.
        if (impl_->runDepth == 0) return;
        impl_->stopRequested = true;
    }
    impl_->posted.notify_all();
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, Duration timeout) {
    Impl::requireMainThread("runUntil()");
    const TimePoint deadline = Clock::system().now() + std::clamp(timeout, Duration::zero(), maxDuration());
    // The predicate may turn true through work on other threads that posts nothing here, so
    // waiting is done in short slices that re-check it.
    constexpr Duration kSlice = std::chrono::milliseconds(1);
    for (;;) {
        if (predicate()) return true;
        if (runOne()) continue;
        const TimePoint now = Clock::system().now();
        if (now >= deadline) return predicate();
        waitForWork(std::min(kSlice, deadline - now));
    }
}

size_t RunLoop::drain() {
    Impl::requireMainThread("drain()");
    size_t count = 0;
    while (runOne())
        ++count;
    return count;
}

bool RunLoop::runOne() {
    Impl::requireMainThread("runOne()");
    std::optional<detail::MainItem> item = impl_->take();
    if (!item) return false;
    Impl::runItem(*item);
    return true;
}

void RunLoop::waitForWork(Duration timeout) {
    std::unique_lock lock(impl_->mutex);
    impl_->posted.wait_for(lock, std::clamp(timeout, Duration::zero(), maxDuration()),
                           [&] { return !impl_->items.empty(); });
}

void RunLoop::setWakeHandler(std::function<void()> handler) {
    auto shared = std::make_shared<const std::function<void()>>(std::move(handler));
    std::lock_guard lock(impl_->mutex);
    impl_->wakeHandler = std::move(shared);
}

void RunLoop::setExceptionHandler(std::function<bool()> handler) {
    auto shared = handler ? std::make_shared<const std::function<bool()>>(std::move(handler)) : nullptr;
    std::lock_guard lock(impl_->mutex);
    impl_->exceptionHandler = std::move(shared);
}

size_t RunLoop::pendingCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->items.size();
}

namespace detail {

void postToMainQueue(MainItem item) {
    mainLoopImpl().post(std::move(item));
}

} // namespace detail

} // namespace plat
