#include "platform/dispatch/DispatchSourceTimer.h"

#include "platform/dispatch/DispatchInternal.h"

#include <algorithm>
#include <mutex>

namespace plat {

namespace {
// Repeating intervals are at least this long, so a zero interval cannot spin the scheduler.
constexpr Duration kMinInterval = std::chrono::microseconds(1);
} // namespace

struct DispatchSourceTimer::Impl : std::enable_shared_from_this<DispatchSourceTimer::Impl> {
    // Where the handler is: not queued, queued on the queue, running, or running with a tick
    // that arrived meanwhile (delivered once it returns, so handlers never overlap).
    enum class Delivery { Idle, Queued, Running, RunningWithTick };

    Impl(DispatchQueue q, Scheduler& s) : queue(std::move(q)), scheduler(s) {}

    const DispatchQueue queue;
    Scheduler& scheduler;

    std::mutex mutex;
    Block handler;
    Block cancelHandler;
    std::optional<TimePoint> nextDeadline; // none: not scheduled, or a one-shot that fired
    std::optional<Duration> interval;
    int suspendCount = 1;
    bool cancelled = false;
    bool cancelHandlerWaits = false; // cancel() came while the handler ran
    bool tickWhileSuspended = false;
    Delivery delivery = Delivery::Idle;
    Scheduler::Token token = 0;
    uint64_t generation = 0; // invalidates scheduler callbacks already on their way

    void armLocked() {
        if (cancelled || suspendCount > 0 || !nextDeadline) return;
        const uint64_t gen = ++generation;
        token = scheduler.schedule(*nextDeadline, [weak = weak_from_this(), gen] {
            if (auto self = weak.lock()) self->fired(gen);
        });
    }

    void disarmLocked() {
        ++generation;
        if (token != 0) scheduler.cancel(token);
        token = 0;
    }

    // Returns whether a handler delivery must be posted.
    bool tickLocked() {
        switch (delivery) {
        case Delivery::Idle:
            delivery = Delivery::Queued;
            return true;
        case Delivery::Running:
            delivery = Delivery::RunningWithTick;
            return false;
        default:
            return false; // merged into the delivery already pending
        }
    }

    void postDelivery() {
        queue.async([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->deliver();
        });
    }

    void fired(uint64_t gen) {
        {
            std::lock_guard lock(mutex);
            if (gen != generation || cancelled || suspendCount > 0 || !nextDeadline) return;
            token = 0;
            const TimePoint deadline = *nextDeadline;
            if (interval) {
                // Ticks missed while the scheduler was late are merged, never fired in a burst.
                const TimePoint now = scheduler.clock().now();
                const auto missed = now > deadline ? (now - deadline) / *interval : 0;
                nextDeadline = deadline + (missed + 1) * *interval;
                armLocked();
            } else {
                nextDeadline.reset();
            }
            if (!tickLocked()) return;
        }
        postDelivery();
    }

    void deliver() {
        Block current;
        {
            std::lock_guard lock(mutex);
            if (cancelled) {
                delivery = Delivery::Idle;
                return;
            }
            if (suspendCount > 0) {
                delivery = Delivery::Idle;
                tickWhileSuspended = true;
                return;
            }
            delivery = Delivery::Running;
            current = handler;
        }
        if (current) current();
        Block lateCancelHandler;
        bool again = false;
        {
            std::lock_guard lock(mutex);
            const bool tick = delivery == Delivery::RunningWithTick;
            delivery = Delivery::Idle;
            if (cancelled) {
                if (cancelHandlerWaits) lateCancelHandler = std::move(cancelHandler);
                cancelHandlerWaits = false;
            } else if (tick && suspendCount > 0) {
                tickWhileSuspended = true;
            } else if (tick) {
                again = tickLocked();
            }
        }
        if (again) postDelivery();
        if (lateCancelHandler) queue.async(std::move(lateCancelHandler));
    }

    void cancel() {
        Block now;
        Block droppedHandler; // destroyed outside the lock: its captures may do anything
        {
            std::lock_guard lock(mutex);
            if (cancelled) return;
            cancelled = true;
            disarmLocked();
            droppedHandler = std::move(handler);
            handler = nullptr;
            const bool running = delivery == Delivery::Running || delivery == Delivery::RunningWithTick;
            if (running)
                cancelHandlerWaits = static_cast<bool>(cancelHandler);
            else
                now = std::move(cancelHandler);
            if (!running) cancelHandler = nullptr;
        }
        if (now) queue.async(std::move(now));
    }
};

DispatchSourceTimer::DispatchSourceTimer(DispatchQueue queue, Scheduler& scheduler)
    : impl_(std::make_shared<Impl>(std::move(queue), scheduler)) {}

DispatchSourceTimer::~DispatchSourceTimer() {
    impl_->cancel();
}

void DispatchSourceTimer::schedule(Duration start, std::optional<Duration> interval, Duration leeway) {
    (void)leeway; // the schedulers fire at the deadline, so there is nothing to relax
    std::lock_guard lock(impl_->mutex);
    if (impl_->cancelled) return;
    impl_->disarmLocked();
    impl_->nextDeadline = impl_->scheduler.clock().now() + std::clamp(start, Duration::zero(), maxDuration());
    impl_->interval.reset();
    if (interval) impl_->interval = std::clamp(*interval, kMinInterval, maxDuration());
    impl_->armLocked();
}

void DispatchSourceTimer::setEventHandler(Block handler) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->cancelled) impl_->handler = std::move(handler);
}

void DispatchSourceTimer::setCancelHandler(Block handler) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->cancelled) impl_->cancelHandler = std::move(handler);
}

void DispatchSourceTimer::resume() {
    bool post = false;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->suspendCount == 0)
            detail::fatal("DispatchSourceTimer::resume() called more often than suspend()");
        if (--impl_->suspendCount > 0 || impl_->cancelled) return;
        impl_->armLocked();
        if (impl_->tickWhileSuspended) {
            impl_->tickWhileSuspended = false;
            post = impl_->tickLocked();
        }
    }
    if (post) impl_->postDelivery();
}

void DispatchSourceTimer::suspend() {
    std::lock_guard lock(impl_->mutex);
    if (++impl_->suspendCount == 1) impl_->disarmLocked();
}

void DispatchSourceTimer::cancel() {
    impl_->cancel();
}

bool DispatchSourceTimer::isCancelled() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->cancelled;
}

} // namespace plat
