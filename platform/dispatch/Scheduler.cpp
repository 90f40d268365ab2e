#include "platform/dispatch/Scheduler.h"

#include "platform/dispatch/DispatchInternal.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace plat {

namespace {

// Pending callbacks ordered by deadline, ties by token (scheduling order), with a token index for
// cancellation. Callers hold their own lock.
class CallbackQueue {
public:
    using Key = std::pair<TimePoint, Scheduler::Token>;

    Scheduler::Token add(TimePoint deadline, Block fire) {
        const Scheduler::Token token = nextToken_++;
        entries_.emplace(Key{deadline, token}, std::move(fire));
        index_.emplace(token, deadline);
        return token;
    }
    bool remove(Scheduler::Token token) {
        auto it = index_.find(token);
        if (it == index_.end()) return false;
        entries_.erase(Key{it->second, token});
        index_.erase(it);
        return true;
    }
    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    TimePoint earliest() const { return entries_.begin()->first.first; }
    Block popEarliest() {
        auto it = entries_.begin();
        Block fire = std::move(it->second);
        index_.erase(it->first.second);
        entries_.erase(it);
        return fire;
    }

private:
    std::map<Key, Block> entries_;
    std::unordered_map<Scheduler::Token, TimePoint> index_;
    Scheduler::Token nextToken_ = 1;
};

// One lazily started timer thread over the steady clock. The object is never destroyed, so the
// detached thread can never outlive its state.
class SystemScheduler final : public Scheduler {
public:
    const Clock& clock() const override { return Clock::system(); }

    Token schedule(TimePoint deadline, Block fire) override {
        std::lock_guard lock(mutex_);
        const bool wasEarliest = pending_.empty() || deadline < pending_.earliest();
        const Token token = pending_.add(deadline, std::move(fire));
        if (!started_) {
            started_ = true;
            std::thread([this] { loop(); }).detach();
        } else if (wasEarliest) {
            wake_.notify_one();
        }
        return token;
    }

    bool cancel(Token token) override {
        std::lock_guard lock(mutex_);
        return pending_.remove(token);
    }

    void stop() {
        std::unique_lock lock(mutex_);
        stopped_ = true;
        wake_.notify_one();
        if (!onTimerThread) settled_.wait(lock, [this] { return !firing_; });
    }

private:
    void loop() {
        onTimerThread = true;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (pending_.empty() || stopped_) {
                wake_.wait(lock);
                continue;
            }
            const TimePoint deadline = pending_.earliest();
            if (clock().now() < deadline) {
                wake_.wait_until(lock, deadline);
                continue; // re-check: woken early, or an earlier deadline arrived
            }
            Block fire = pending_.popEarliest();
            firing_ = true;
            lock.unlock();
            detail::dispatchThreadRefreshHooks();
            detail::runGuarded(fire, "scheduler callback", "system scheduler");
            fire = nullptr; // release captures outside the lock
            lock.lock();
            firing_ = false;
            settled_.notify_all();
        }
    }

    static thread_local bool onTimerThread;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable settled_; // a callback returned while stop() waits
    CallbackQueue pending_;
    bool started_ = false;
    bool firing_ = false;
    bool stopped_ = false; // the process is ending: nothing fires any more
};

thread_local bool SystemScheduler::onTimerThread = false;

SystemScheduler& systemScheduler() {
    static SystemScheduler* scheduler = [] {
        detail::registerBackgroundWorkEndAtExit();
        return new SystemScheduler();
    }();
    return *scheduler;
}

} // namespace

Scheduler& Scheduler::system() {
    return systemScheduler();
}

void detail::stopSystemScheduler() {
    systemScheduler().stop();
}

struct ManualScheduler::State {
    mutable std::mutex mutex;
    CallbackQueue pending;
};

ManualScheduler::ManualScheduler() : state_(std::make_unique<State>()) {}
ManualScheduler::~ManualScheduler() = default;

Scheduler::Token ManualScheduler::schedule(TimePoint deadline, Block fire) {
    std::lock_guard lock(state_->mutex);
    return state_->pending.add(deadline, std::move(fire));
}

bool ManualScheduler::cancel(Token token) {
    std::lock_guard lock(state_->mutex);
    return state_->pending.remove(token);
}

void ManualScheduler::advance(Duration d) {
    const TimePoint target = clock_.now() + std::clamp(d, Duration::zero(), maxDuration());
    for (;;) {
        Block fire;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->pending.empty() || state_->pending.earliest() > target) break;
            const TimePoint deadline = state_->pending.earliest();
            fire = state_->pending.popEarliest();
            // A deadline already in the past fires at the current time; the clock never goes back.
            if (deadline > clock_.now()) clock_.advance(deadline - clock_.now());
        }
        detail::runGuarded(fire, "scheduler callback", "manual scheduler");
    }
    if (target > clock_.now()) clock_.advance(target - clock_.now());
}

size_t ManualScheduler::pendingCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->pending.size();
}

} // namespace plat
