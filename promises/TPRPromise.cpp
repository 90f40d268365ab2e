#include "promises/TPRPromise.h"

#include <cstdio>

namespace {

// Process-wide state; created on first use and never destroyed, so worker threads that settle
// promises during exit never meet a destroyed group or queue.
struct ClassState {
    std::mutex mutex;
    plat::DispatchQueue defaultQueue = plat::mainQueue();
};

ClassState& classState() {
    static auto* const state = new ClassState();
    return *state;
}

} // namespace

// Creation ---------------------------------------------------------------------------------------

TPRPromise::TPRPromise(Key) { dispatchGroup().enter(); }

TPRPromise::TPRPromise(Key, const plat::Object& value) {
    if (const plat::Error* error = TPRErrorFromObject(value)) {
        state_ = State::Rejected;
        error_ = *error;
    } else {
        state_ = State::Fulfilled;
        value_ = value;
    }
}

TPRPromise::TPRPromise(Key, const plat::Error& error) : state_(State::Rejected), error_(error) {}

TPRPromise::~TPRPromise() {
    // Abandoned while pending: its observers never run, and waiting for the group must not hang.
    if (state_ == State::Pending) dispatchGroup().leave();
}

TPRPromise::Ptr TPRPromise::pendingPromise() { return std::make_shared<TPRPromise>(Key()); }

TPRPromise::Ptr TPRPromise::resolvedWith(const plat::Object& value) {
    return std::make_shared<TPRPromise>(Key(), value);
}

TPRPromise::Ptr TPRPromise::resolvedWith(const plat::Error& error) {
    return std::make_shared<TPRPromise>(Key(), error);
}

// Resolution -------------------------------------------------------------------------------------

void TPRPromise::fulfill(const plat::Object& value) {
    if (const plat::Error* error = TPRErrorFromObject(value)) settle(State::Rejected, nullptr, error);
    else settle(State::Fulfilled, &value, nullptr);
}

void TPRPromise::reject(const plat::Error& error) { settle(State::Rejected, nullptr, &error); }

void TPRPromise::settle(State state, const plat::Object* value, const plat::Error* error) {
    // Declared before the lock so that what observers and pending objects hold is released only
    // after the lock is: their destructors may touch other promises.
    std::optional<Observer> first;
    std::unique_ptr<std::vector<Observer>> more;
    std::unique_ptr<std::vector<std::shared_ptr<const void>>> pending;
    Ptr self;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Pending) return;
        state_ = state;
        if (value) value_ = *value;
        if (error) error_ = *error;
        first.swap(firstObserver_);
        more.swap(moreObservers_);
        pending.swap(pendingObjects_);
        // Posting under the lock keeps observers on one serial queue in registration order even
        // when another thread registers while this one settles. Posting runs no user code.
        if (first) {
            self = shared_from_this();
            schedule(first->queue, self, std::move(first->callback));
            if (more)
                for (Observer& observer : *more) schedule(observer.queue, self, std::move(observer.callback));
        }
    }
    dispatchGroup().leave();
}

// State ------------------------------------------------------------------------------------------

TPRPromise::State TPRPromise::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

plat::Object TPRPromise::value() const {
    std::lock_guard lock(mutex_);
    return value_;
}

std::optional<plat::Error> TPRPromise::error() const {
    std::lock_guard lock(mutex_);
    if (state_ != State::Rejected) return std::nullopt;
    return error_;
}

// Observation and chaining -----------------------------------------------------------------------

void TPRPromise::schedule(const Queue& queue, Ptr settled, Callback callback) {
    dispatchGroup().enter();
    queue.async([settled = std::move(settled), callback = std::move(callback)]() mutable {
        callback(*settled);
        // Released before leaving so that an empty group means the work, captures included, is done.
        callback = nullptr;
        settled.reset();
        dispatchGroup().leave();
    });
}

void TPRPromise::groupAsync(const Queue& queue, plat::Block block) {
    dispatchGroup().enter();
    queue.async([block = std::move(block)]() mutable {
        block();
        block = nullptr;
        dispatchGroup().leave();
    });
}

void TPRPromise::addObserver(const Queue& queue, Callback callback) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Pending) {
            if (!firstObserver_) {
                firstObserver_.emplace(Observer{queue, std::move(callback)});
            } else {
                if (!moreObservers_) moreObservers_ = std::make_unique<std::vector<Observer>>();
                moreObservers_->push_back(Observer{queue, std::move(callback)});
            }
            return;
        }
    }
    // Settled: the outcome is fixed, and any observer that was registered earlier has already been
    // posted by settle(), so posting outside the lock keeps the order.
    schedule(queue, shared_from_this(), std::move(callback));
}

void TPRPromise::observeOnQueue(const Queue& queue, TPRFulfillBlock onFulfill, TPRRejectBlock onReject) {
    TPR_REQUIRE(onFulfill, "onFulfill");
    TPR_REQUIRE(onReject, "onReject");
    addObserver(queue, [onFulfill = std::move(onFulfill), onReject = std::move(onReject)](const TPRPromise& p) {
        if (p.state_ == State::Fulfilled) onFulfill(p.value_);
        else onReject(p.error_);
    });
}

void TPRPromise::resolveOnQueue(const Queue& queue, const TPRValue& resolution) {
    switch (resolution.kind()) {
    case TPRValue::Kind::Promise:
        resolution.promise()->addObserver(queue, [target = shared_from_this()](const TPRPromise& p) {
            if (p.state_ == State::Fulfilled) target->fulfill(p.value_);
            else target->reject(p.error_);
        });
        break;
    case TPRValue::Kind::Error: reject(resolution.error()); break;
    case TPRValue::Kind::Object: fulfill(resolution.object()); break;
    }
}

TPRPromise::Ptr TPRPromise::chainOnQueue(const Queue& queue, TPRChainedFulfillBlock chainedFulfill,
                                         TPRChainedRejectBlock chainedReject) {
    Ptr chained = pendingPromise();
    addObserver(queue, [chained, queue, onFulfill = std::move(chainedFulfill),
                        onReject = std::move(chainedReject)](const TPRPromise& p) {
        if (p.state_ == State::Fulfilled) {
            if (onFulfill) chained->resolveOnQueue(queue, onFulfill(p.value_));
            else chained->fulfill(p.value_);
        } else {
            if (onReject) chained->resolveOnQueue(queue, onReject(p.error_));
            else chained->reject(p.error_);
        }
    });
    return chained;
}

void TPRPromise::addPendingObject(std::shared_ptr<const void> object) {
    TPR_REQUIRE(object, "object");
    std::lock_guard lock(mutex_);
    if (state_ != State::Pending) return; // `object` is released by the caller, after the lock
    if (!pendingObjects_) pendingObjects_ = std::make_unique<std::vector<std::shared_ptr<const void>>>();
    pendingObjects_->push_back(std::move(object));
}

// Process-wide state -----------------------------------------------------------------------------

TPRPromise::Queue TPRPromise::defaultDispatchQueue() {
    ClassState& state = classState();
    std::lock_guard lock(state.mutex);
    return state.defaultQueue;
}

void TPRPromise::setDefaultDispatchQueue(const Queue& queue) {
    ClassState& state = classState();
    Queue previous = queue;
    std::lock_guard lock(state.mutex);
    std::swap(previous, state.defaultQueue);
}

const plat::DispatchGroup& TPRPromise::dispatchGroup() {
    static const auto* const group = new plat::DispatchGroup();
    return *group;
}

std::string TPRPromise::description() const {
    char head[64];
    std::snprintf(head, sizeof head, "<TPRPromise %p> ", static_cast<const void*>(this));
    std::lock_guard lock(mutex_);
    switch (state_) {
    case State::Fulfilled: return head + std::string("Fulfilled: ") + (value_.isAbsent() ? "(null)" : value_.debugDescription());
    case State::Rejected: return head + std::string("Rejected: ") + TPRErrorDescription(error_);
    case State::Pending: break;
    }
    return head + std::string("Pending");
}
