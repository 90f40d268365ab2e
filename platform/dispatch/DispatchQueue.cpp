#include "platform/dispatch/DispatchQueue.h"

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/WorkerPool.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

namespace {

// Hands a queued sync call its turn: the thread waiting in sync() runs the block itself.
struct SyncTurn {
    std::mutex mutex;
    std::condition_variable cv;
    bool granted = false;

    void grant() {
        std::lock_guard lock(mutex);
        granted = true;
        cv.notify_one();
    }
    void await() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return granted; });
    }
};

struct Item {
    Block block;                    // async work, run on a worker
    std::shared_ptr<SyncTurn> turn; // or a sync caller waiting for its turn
    bool barrier = false;
};

// Serial drains give the worker back after this many blocks so one busy queue cannot hold a
// thread forever; the FIFO order is unaffected.
constexpr int kDrainBatch = 64;

} // namespace

struct DispatchQueue::Impl : std::enable_shared_from_this<DispatchQueue::Impl> {
    enum class Kind { Main, Global, Serial, Concurrent };

    Impl(std::string l, Kind k, QoS q) : label(std::move(l)), kind(k), qos(q) {}

    const std::string label;
    const Kind kind;
    const QoS qos;

    std::mutex mutex;
    std::deque<Item> items;
    bool busy = false;           // serial: a drain task or a sync caller owns the queue
    size_t running = 0;          // concurrent: plain blocks in flight
    bool barrierRunning = false; // concurrent: a barrier block in flight

    bool onCallingThread() const {
        const auto& stack = detail::currentQueueStack();
        return std::find(stack.begin(), stack.end(), this) != stack.end();
    }
    void requireBlock(const Block& block, const char* operation) const {
        if (!block)
            detail::fatal(std::string("DispatchQueue::") + operation + " on '" + label +
                          "' with an empty block");
    }
    void run(const Block& block) { detail::runGuarded(block, "block", label); }

    // Serial queues ---------------------------------------------------------------------------

    void serialAsync(Block block) {
        std::lock_guard lock(mutex);
        items.push_back(Item{std::move(block), nullptr, false});
        if (!busy) {
            busy = true;
            submitDrain();
        }
    }

    void submitDrain() {
        detail::WorkerPool::shared().submit([self = shared_from_this()] { self->drain(); }, qos);
    }

    void drain() {
        for (int n = 0;; ++n) {
            Item item;
            {
                std::lock_guard lock(mutex);
                // The process is ending and gave up waiting for this block: the queue stays
                // busy, so nothing of it runs any more.
                if (n > 0 && detail::WorkerPool::shared().isClosed()) return;
                if (items.empty()) {
                    busy = false;
                    return;
                }
                if (n == kDrainBatch) {
                    submitDrain();
                    return;
                }
                item = std::move(items.front());
                items.pop_front();
            }
            if (item.turn) {
                item.turn->grant(); // the sync caller now owns the queue and releases it
                return;
            }
            detail::ScopedQueues scope(this);
            run(item.block);
        }
    }

    void releaseSerial() {
        std::lock_guard lock(mutex);
        if (items.empty())
            busy = false;
        else
            submitDrain();
    }

    void serialSync(const Block& block) {
        if (onCallingThread()) {
            detail::fatal("DispatchQueue::sync onto serial queue '" + label +
                          "' from a block already running on it (directly or through nested sync) would "
                          "deadlock");
        }
        std::shared_ptr<SyncTurn> turn;
        {
            std::lock_guard lock(mutex);
            if (!busy && items.empty()) {
                busy = true;
            } else {
                turn = std::make_shared<SyncTurn>();
                items.push_back(Item{nullptr, turn, false});
            }
        }
        if (turn) turn->await();
        struct Release {
            Impl* q;
            ~Release() { q->releaseSerial(); }
        } release{this};
        detail::ScopedQueues scope(this);
        block();
    }

    // Concurrent queues -----------------------------------------------------------------------

    // Takes the items that may start now: plain blocks up to the next barrier, or one barrier once
    // nothing else runs.
    std::vector<Item> startableLocked() {
        std::vector<Item> start;
        while (!items.empty() && !barrierRunning) {
            if (items.front().barrier) {
                if (running > 0) break;
                barrierRunning = true;
            } else {
                ++running;
            }
            start.push_back(std::move(items.front()));
            items.pop_front();
        }
        return start;
    }

    void start(std::vector<Item> start) {
        for (Item& item : start) {
            if (item.turn) {
                item.turn->grant();
                continue;
            }
            detail::WorkerPool::shared().submit(
                [self = shared_from_this(), block = std::move(item.block), barrier = item.barrier] {
                    {
                        detail::ScopedQueues scope(self.get());
                        self->run(block);
                    }
                    self->finishConcurrent(barrier);
                },
                qos);
        }
    }

    void finishConcurrent(bool barrier) {
        std::vector<Item> next;
        {
            std::lock_guard lock(mutex);
            if (barrier)
                barrierRunning = false;
            else
                --running;
            next = startableLocked();
        }
        start(std::move(next));
    }

    void concurrentAsync(Block block, bool barrier) {
        std::vector<Item> next;
        {
            std::lock_guard lock(mutex);
            items.push_back(Item{std::move(block), nullptr, barrier});
            next = startableLocked();
        }
        start(std::move(next));
    }

    void concurrentSync(const Block& block, bool barrier) {
        if (barrier && onCallingThread()) {
            detail::fatal("DispatchQueue::syncBarrier onto concurrent queue '" + label +
                          "' from a block running on it would deadlock");
        }
        auto turn = std::make_shared<SyncTurn>();
        std::vector<Item> next;
        {
            std::lock_guard lock(mutex);
            items.push_back(Item{nullptr, turn, barrier});
            next = startableLocked();
        }
        start(std::move(next));
        turn->await();
        struct Finish {
            Impl* q;
            bool barrier;
            ~Finish() { q->finishConcurrent(barrier); }
        } finish{this, barrier};
        detail::ScopedQueues scope(this);
        block();
    }

    // Global queues ---------------------------------------------------------------------------

    void globalAsync(Block block) {
        detail::WorkerPool::shared().submit(
            [self = shared_from_this(), block = std::move(block)] {
                detail::ScopedQueues scope(self.get());
                self->run(block);
            },
            qos);
    }

    void globalSync(const Block& block) {
        detail::ScopedQueues scope(this);
        block();
    }

    // Main queue ------------------------------------------------------------------------------

    void mainSync(const Block& block) {
        if (isMainThread()) {
            detail::fatal("DispatchQueue::main().sync called on the main thread would deadlock; use async, "
                          "or call the block directly");
        }
        struct Done {
            std::mutex mutex;
            std::condition_variable cv;
            bool done = false;
            std::exception_ptr error;
        };
        auto done = std::make_shared<Done>();
        detail::postToMainQueue(detail::MainItem{[done, &block] {
                                                     std::exception_ptr error;
                                                     try {
                                                         block();
                                                     } catch (...) {
                                                         error = std::current_exception();
                                                     }
                                                     std::lock_guard lock(done->mutex);
                                                     done->error = error;
                                                     done->done = true;
                                                     done->cv.notify_one();
                                                 },
                                                 detail::currentQueueStack()});
        std::unique_lock lock(done->mutex);
        done->cv.wait(lock, [&] { return done->done; });
        if (done->error) std::rethrow_exception(done->error);
    }

    // Dispatch by kind ------------------------------------------------------------------------

    void async(Block block, bool barrier) {
        requireBlock(block, barrier ? "asyncBarrier" : "async");
        switch (kind) {
        case Kind::Main:
            detail::postToMainQueue(detail::MainItem{std::move(block), {}});
            break;
        case Kind::Global:
            globalAsync(std::move(block));
            break;
        case Kind::Serial:
            serialAsync(std::move(block));
            break;
        case Kind::Concurrent:
            concurrentAsync(std::move(block), barrier);
            break;
        }
    }

    void sync(const Block& block, bool barrier) {
        requireBlock(block, barrier ? "syncBarrier" : "sync");
        switch (kind) {
        case Kind::Main:
            mainSync(block);
            break;
        case Kind::Global:
            globalSync(block);
            break;
        case Kind::Serial:
            serialSync(block);
            break;
        case Kind::Concurrent:
            concurrentSync(block, barrier);
            break;
        }
    }
};

namespace {

const char* qosName(QoS qos) {
    switch (qos) {
    case QoS::Background:
        return "background";
    case QoS::Utility:
        return "utility";
    case QoS::Default:
        return "default";
    case QoS::UserInitiated:
        return "user-initiated";
    case QoS::UserInteractive:
        return "user-interactive";
    }
    return "default";
}

} // namespace

DispatchQueue::DispatchQueue(std::string label, Attributes attributes, QoS qos)
    : impl_(std::make_shared<Impl>(
          std::move(label), attributes == Attributes::Serial ? Impl::Kind::Serial : Impl::Kind::Concurrent,
          qos)) {}

DispatchQueue DispatchQueue::main() {
    static const auto* impl =
        new std::shared_ptr<Impl>(std::make_shared<Impl>("main", Impl::Kind::Main, QoS::UserInteractive));
    return DispatchQueue(*impl);
}

DispatchQueue DispatchQueue::global(QoS qos) {
    static const auto* queues = [] {
        auto* all = new std::array<std::shared_ptr<Impl>, 5>();
        for (int i = 0; i < 5; ++i) {
            const auto q = static_cast<QoS>(i);
            (*all)[i] = std::make_shared<Impl>(std::string("global.") + qosName(q), Impl::Kind::Global, q);
        }
        return all;
    }();
    return DispatchQueue((*queues)[static_cast<int>(qos)]);
}

std::optional<DispatchQueue> DispatchQueue::current() {
    const auto& stack = detail::currentQueueStack();
    if (stack.empty()) return std::nullopt;
    return DispatchQueue(stack.back()->shared_from_this());
}

const std::string& DispatchQueue::label() const {
    return impl_->label;
}

const char* detail::queueLabel(const DispatchQueue::Impl* queue) {
    return queue->label.c_str();
}
bool DispatchQueue::isSerial() const {
    return impl_->kind == Impl::Kind::Serial || impl_->kind == Impl::Kind::Main;
}
bool DispatchQueue::isMain() const {
    return impl_->kind == Impl::Kind::Main;
}
bool DispatchQueue::isCurrent() const {
    return impl_->onCallingThread();
}

void DispatchQueue::async(Block block) const {
    impl_->async(std::move(block), false);
}

void DispatchQueue::async(const DispatchGroup& group, Block block) const {
    impl_->requireBlock(block, "async");
    group.enter();
    impl_->async(
        [group, block = std::move(block)] {
            block();
            group.leave();
        },
        false);
}

void DispatchQueue::sync(const Block& block) const {
    impl_->sync(block, false);
}

void DispatchQueue::asyncAfter(Duration delay, Block block, Scheduler& scheduler) const {
    asyncAfter(scheduler.clock().now() + std::clamp(delay, Duration::zero(), maxDuration()), std::move(block),
               scheduler);
}

void DispatchQueue::asyncAfter(TimePoint deadline, Block block, Scheduler& scheduler) const {
    impl_->requireBlock(block, "asyncAfter");
    scheduler.schedule(
        deadline, [queue = *this, block = std::move(block)]() mutable { queue.async(std::move(block)); });
}

void DispatchQueue::asyncBarrier(Block block) const {
    impl_->async(std::move(block), true);
}
void DispatchQueue::syncBarrier(const Block& block) const {
    impl_->sync(block, true);
}

DispatchQueue mainQueue() {
    return DispatchQueue::main();
}

bool isMainThread() {
    return static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid();
}

} // namespace plat
