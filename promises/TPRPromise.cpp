// The promise's state: creation, settling, pending objects, the process-wide queue and group.
// Observation and chaining live in TPRPromiseObservation.cpp.
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

TPRPromise::TPRPromise(Key) {
    enterGroup();
}

TPRPromise::TPRPromise(Key, const plat::Object& value) {
    if (const plat::Error* error = TPRErrorFromObject(value)) {
        state_ = State::Rejected;
        error_ = std::make_unique<const plat::Error>(*error);
    } else {
        state_ = State::Fulfilled;
        value_ = value;
    }
}

TPRPromise::TPRPromise(Key, const plat::Error& error)
    : state_(State::Rejected), error_(std::make_unique<const plat::Error>(error)) {}

TPRPromise::~TPRPromise() {
    // Abandoned while pending: its observers never run, and waiting for the group must not hang.
    if (state_ == State::Pending) leaveGroup();
    if (firstObserver_ || moreObservers_ || pendingObjects_) releaseIteratively();
}

void TPRPromise::releaseIteratively() {
    // An observer usually holds the promise chained after this one, whose observer holds the next,
    // and so on: destroying them by plain nesting would take one set of stack frames per link of
    // an abandoned chain. Instead the outermost destructor on this thread releases everything the
    // dying promises held, one piece at a time, while nested ones only hand their pieces over.
    struct Held {
        std::vector<ObserverPtr> observers;
        std::vector<std::shared_ptr<const void>> objects;
        bool releasing = false;
    };
    thread_local Held held;
    if (firstObserver_) held.observers.push_back(std::move(firstObserver_));
    if (moreObservers_)
        for (ObserverPtr& observer : *moreObservers_)
            held.observers.push_back(std::move(observer));
    if (pendingObjects_)
        for (auto& object : *pendingObjects_)
            held.objects.push_back(std::move(object));
    moreObservers_.reset();
    pendingObjects_.reset();
    if (held.releasing) return;
    held.releasing = true;
    while (!held.observers.empty() || !held.objects.empty()) {
        if (!held.observers.empty()) {
            ObserverPtr observer = std::move(held.observers.back());
            held.observers.pop_back();
        } else {
            std::shared_ptr<const void> object = std::move(held.objects.back());
            held.objects.pop_back();
        }
    }
    held.releasing = false;
}

TPRPromise::Ptr TPRPromise::pendingPromise() {
    Ptr promise = std::make_shared<TPRPromise>(Key());
    promise->weakSelf_ = promise;
    return promise;
}

TPRPromise::Ptr TPRPromise::resolvedWith(const plat::Object& value) {
    Ptr promise = std::make_shared<TPRPromise>(Key(), value);
    promise->weakSelf_ = promise;
    return promise;
}

TPRPromise::Ptr TPRPromise::resolvedWith(const plat::Error& error) {
    Ptr promise = std::make_shared<TPRPromise>(Key(), error);
    promise->weakSelf_ = promise;
    return promise;
}

// Resolution -------------------------------------------------------------------------------------

void TPRPromise::fulfill(const plat::Object& value) {
    if (const plat::Error* error = TPRErrorFromObject(value))
        settle(State::Rejected, nullptr, error);
    else
        settle(State::Fulfilled, &value, nullptr);
}

void TPRPromise::reject(const plat::Error& error) {
    settle(State::Rejected, nullptr, &error);
}

void TPRPromise::settle(State state, const plat::Object* value, const plat::Error* error) {
    // Declared before the lock so that what observers and pending objects hold is released only
    // after the lock is: their destructors may touch other promises.
    ObserverPtr first;
    std::unique_ptr<std::vector<ObserverPtr>> more;
    std::unique_ptr<std::vector<std::shared_ptr<const void>>> pending;
    Ptr settled;
    bool handedOver = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Pending) return;
        state_ = state;
        if (value) value_ = *value;
        if (error) error_ = std::make_unique<const plat::Error>(*error);
        first.swap(firstObserver_);
        more.swap(moreObservers_);
        pending.swap(pendingObjects_);
        // Posting under the lock keeps observers on one serial queue in registration order even
        // when another thread registers while this one settles. Posting runs no user code.
        if (first) {
            settled = self();
            // The promise's own entry in the group passes to its first observer's task instead of
            // being left and entered again; the count never touches zero in between either way.
            schedule(std::move(first), settled, /*alreadyEntered=*/true);
            handedOver = true;
            if (more)
                for (ObserverPtr& observer : *more)
                    schedule(std::move(observer), settled);
        }
    }
    if (!handedOver) leaveGroup();
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
    return *error_;
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

// Every pending promise and every queued promise task counts here; the group itself is entered
// only when the count leaves zero and left when it returns there. So the group is non-empty
// exactly while promise work is outstanding, without a trip through the group's mutex for every
// promise. A leave that drops the count to zero always follows the enter that raised it from
// zero, as the work counted in between cannot finish before it has been published.
std::atomic<long>& TPRPromise::outstanding() {
    static auto* const count = new std::atomic<long>(0);
    return *count;
}

void TPRPromise::enterGroup() {
    if (outstanding().fetch_add(1, std::memory_order_acq_rel) == 0) dispatchGroup().enter();
}

void TPRPromise::leaveGroup() {
    const long before = outstanding().fetch_sub(1, std::memory_order_acq_rel);
    if (before == 1)
        dispatchGroup().leave();
    else if (before < 1)
        TPRAssertionFailure(__func__, "promise work left the dispatch group more often than it entered");
}

long TPRPromise::outstandingWork() {
    return outstanding().load(std::memory_order_acquire);
}

std::string TPRPromise::description() const {
    char head[64];
    std::snprintf(head, sizeof head, "<TPRPromise %p> ", static_cast<const void*>(this));
    std::lock_guard lock(mutex_);
    switch (state_) {
    case State::Fulfilled:
        return head + std::string("Fulfilled: ") + (value_.isAbsent() ? "(null)" : value_.debugDescription());
    case State::Rejected:
        return head + std::string("Rejected: ") + TPRErrorDescription(*error_);
    case State::Pending:
        break;
    }
    return head + std::string("Pending");
}
