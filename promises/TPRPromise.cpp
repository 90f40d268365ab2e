// The promise itself: creation, settling, pending objects, the process-wide queue and group; then
// the two primitives, observation and chaining, the operations layered on them, and timing.
#include "promises/TPRPromise.h"

#include "promises/TPRPromiseFunctions.h"

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

// ---- The two primitives, observation and chaining, and how their blocks reach the queues ----
//
// Each registered pair of blocks is one Observer. When the promise settles, the observer is posted
// to its queue as a block holding one plain pointer, which fits in the block's inline storage, so
// posting allocates nothing. The posted observer owns itself through `selfWhilePosted` until its
// task has run. A chain link also carries, in the same allocation, the promise it settles; that
// promise is handed out through an aliasing pointer, so one `then` step costs one allocation.
struct TPRPromise::Observer {
    explicit Observer(const Queue& queue) : queue(queue) {}
    virtual ~Observer() = default;
    // Called on `queue` with the settled promise, whose outcome no longer changes. Releases the
    // caller's blocks before returning.
    virtual void run(const TPRPromise& settled) = 0;

    Queue queue;
    Ptr settled;                 // set when posted: the observed promise lives until the task ran
    ObserverPtr selfWhilePosted; // the posted task's ownership of this observer
};

// observeOnQueue: hands the outcome to the caller's blocks.
struct TPRPromise::BlockObserver final : Observer {
    BlockObserver(const Queue& queue, TPRFulfillBlock onFulfill, TPRRejectBlock onReject)
        : Observer(queue), onFulfill(std::move(onFulfill)), onReject(std::move(onReject)) {}
    void run(const TPRPromise& p) override {
        const TPRFulfillBlock fulfilled = std::move(onFulfill);
        const TPRRejectBlock rejected = std::move(onReject);
        if (p.state_ == State::Fulfilled)
            fulfilled(p.value_);
        else
            rejected(*p.error_);
    }
    TPRFulfillBlock onFulfill;
    TPRRejectBlock onReject;
};

// chainOnQueue: passes the outcome through the optional blocks into the chained promise.
struct TPRPromise::ChainObserver final : Observer {
    ChainObserver(const Queue& queue, TPRChainedFulfillBlock onFulfill, TPRChainedRejectBlock onReject)
        : Observer(queue), chained(Key()), onFulfill(std::move(onFulfill)), onReject(std::move(onReject)) {}
    void run(const TPRPromise& p) override {
        const TPRChainedFulfillBlock fulfilled = std::move(onFulfill);
        const TPRChainedRejectBlock rejected = std::move(onReject);
        if (p.state_ == State::Fulfilled) {
            if (fulfilled)
                chained.resolveOnQueue(queue, fulfilled(p.value_));
            else
                chained.fulfill(p.value_);
        } else {
            if (rejected)
                chained.resolveOnQueue(queue, rejected(*p.error_));
            else
                chained.reject(*p.error_);
        }
    }
    TPRPromise chained;
    TPRChainedFulfillBlock onFulfill;
    TPRChainedRejectBlock onReject;
};

// resolveOnQueue with a promise: the followed promise's outcome settles the target.
struct TPRPromise::FollowObserver final : Observer {
    FollowObserver(const Queue& queue, Ptr target) : Observer(queue), target(std::move(target)) {}
    void run(const TPRPromise& p) override {
        const Ptr settling = std::move(target);
        if (p.state_ == State::Fulfilled)
            settling->fulfill(p.value_);
        else
            settling->reject(*p.error_);
    }
    Ptr target;
};

void TPRPromise::schedule(ObserverPtr observer, Ptr settled, bool alreadyEntered) {
    if (!alreadyEntered) enterGroup();
    Observer* const raw = observer.get();
    raw->settled = std::move(settled);
    // Copied first: once posted, the task may run and free the observer before async() returns.
    const Queue queue = raw->queue;
    raw->selfWhilePosted = std::move(observer);
    queue.async([raw] {
        ObserverPtr owned = std::move(raw->selfWhilePosted);
        raw->run(*raw->settled);
        // Released before leaving so that an empty group means the work, captures included, is done.
        raw->settled.reset();
        owned.reset();
        leaveGroup();
    });
}

void TPRPromise::groupAsync(const Queue& queue, plat::Block block) {
    enterGroup();
    queue.async([block = std::move(block)]() mutable {
        block();
        block = nullptr;
        leaveGroup();
    });
}

void TPRPromise::addObserver(ObserverPtr observer) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Pending) {
            if (!firstObserver_) {
                firstObserver_ = std::move(observer);
            } else {
                if (!moreObservers_) moreObservers_ = std::make_unique<std::vector<ObserverPtr>>();
                moreObservers_->push_back(std::move(observer));
            }
            return;
        }
    }
    // Settled: the outcome is fixed, and any observer that was registered earlier has already been
    // posted by settle(), so posting outside the lock keeps the order.
    schedule(std::move(observer), self());
}

void TPRPromise::observeOnQueue(const Queue& queue, TPRFulfillBlock onFulfill, TPRRejectBlock onReject) {
    TPR_REQUIRE(onFulfill, "onFulfill");
    TPR_REQUIRE(onReject, "onReject");
    addObserver(std::make_shared<BlockObserver>(queue, std::move(onFulfill), std::move(onReject)));
}

void TPRPromise::resolveOnQueue(const Queue& queue, const TPRValue& resolution) {
    switch (resolution.kind()) {
    case TPRValue::Kind::Promise:
        resolution.promise()->addObserver(std::make_shared<FollowObserver>(queue, self()));
        break;
    case TPRValue::Kind::Error:
        reject(resolution.error());
        break;
    case TPRValue::Kind::Object:
        fulfill(resolution.object());
        break;
    }
}

TPRPromise::Ptr TPRPromise::chainOnQueue(const Queue& queue, TPRChainedFulfillBlock chainedFulfill,
                                         TPRChainedRejectBlock chainedReject) {
    auto link = std::make_shared<ChainObserver>(queue, std::move(chainedFulfill), std::move(chainedReject));
    Ptr chained(link, &link->chained);
    link->chained.weakSelf_ = chained;
    addObserver(std::move(link));
    return chained;
}

// ---- Chaining: then, catch, always, recover and validate (thin layers over chainOnQueue), and
// the two ways to start a promise from work, do and async ----

TPRPromise::Ptr TPRPromise::then(const Queue& queue, TPRThenWorkBlock work) {
    TPR_REQUIRE(work, "work");
    return chainOnQueue(queue, std::move(work), nullptr);
}

TPRPromise::Ptr TPRPromise::catch_(const Queue& queue, TPRCatchWorkBlock reject) {
    TPR_REQUIRE(reject, "reject");
    return chainOnQueue(queue, nullptr, [reject = std::move(reject)](const plat::Error& error) -> TPRValue {
        reject(error);
        return error;
    });
}

TPRPromise::Ptr TPRPromise::always(const Queue& queue, TPRAlwaysWorkBlock work) {
    TPR_REQUIRE(work, "work");
    // Both blocks share one copy of the work.
    auto shared = std::make_shared<const TPRAlwaysWorkBlock>(std::move(work));
    return chainOnQueue(
        queue,
        [shared](const plat::Object& value) -> TPRValue {
            (*shared)();
            return value;
        },
        [shared](const plat::Error& error) -> TPRValue {
            (*shared)();
            return error;
        });
}

TPRPromise::Ptr TPRPromise::recover(const Queue& queue, TPRRecoverWorkBlock recovery) {
    TPR_REQUIRE(recovery, "recovery");
    return chainOnQueue(queue, nullptr, std::move(recovery));
}

TPRPromise::Ptr TPRPromise::validate(const Queue& queue, TPRValidateWorkBlock predicate) {
    TPR_REQUIRE(predicate, "predicate");
    return chainOnQueue(
        queue,
        [predicate = std::move(predicate)](const plat::Object& value) -> TPRValue {
            if (predicate(value)) return value;
            return TPRPromiseError(TPRPromiseErrorCodeValidationFailure);
        },
        nullptr);
}

TPRPromise::Ptr TPRPromise::do_(const Queue& queue, TPRDoWorkBlock work) {
    TPR_REQUIRE(work, "work");
    Ptr promise = pendingPromise();
    groupAsync(queue, [promise, queue, work = std::move(work)] { promise->resolveOnQueue(queue, work()); });
    return promise;
}

TPRPromise::Ptr TPRPromise::async(const Queue& queue, TPRAsyncWorkBlock work) {
    TPR_REQUIRE(work, "work");
    Ptr promise = pendingPromise();
    groupAsync(queue, [promise, queue, work = std::move(work)] {
        work([promise, queue](const TPRValue& value) { promise->resolveOnQueue(queue, value); },
             [promise](const plat::Error& error) { promise->reject(error); });
    });
    return promise;
}

// ---- Timing: delay, timeout and retry ----
// Timed tasks go through a Scheduler so tests can drive them with a manual clock; they are not
// counted in the dispatch group, but the promise each one will settle stays pending, and so
// counted, until it has run.

TPRPromise::Ptr TPRPromise::delay(const Queue& queue, double interval, plat::Scheduler& scheduler) {
    Ptr delayed = pendingPromise();
    const plat::Duration wait = plat::durationFromSeconds(interval);
    observeOnQueue(
        queue,
        [delayed, queue, wait, scheduler = &scheduler](const plat::Object& value) {
            queue.asyncAfter(
                wait, [delayed, value] { delayed->fulfill(value); }, *scheduler);
        },
        [delayed](const plat::Error& error) { delayed->reject(error); });
    return delayed;
}

TPRPromise::Ptr TPRPromise::timeout(const Queue& queue, double interval, plat::Scheduler& scheduler) {
    Ptr limited = pendingPromise();
    observeOnQueue(
        queue, [limited](const plat::Object& value) { limited->fulfill(value); },
        [limited](const plat::Error& error) { limited->reject(error); });
    // The timer holds the result weakly: a result nobody waits for any more is not kept alive.
    queue.asyncAfter(
        plat::durationFromSeconds(interval),
        [weak = std::weak_ptr<TPRPromise>(limited)] {
            if (Ptr promise = weak.lock()) promise->reject(TPRPromiseError(TPRPromiseErrorCodeTimedOut));
        },
        scheduler);
    return limited;
}

TPRPromise::Ptr TPRPromise::retry(const Queue& queue, int64_t attempts, double delay,
                                  TPRRetryPredicateBlock condition, TPRRetryWorkBlock work,
                                  plat::Scheduler& scheduler) {
    TPR_REQUIRE(work, "work");
    Ptr promise = pendingPromise();
    TPRPromiseRetryAttempt(promise, queue, attempts, delay, std::move(condition), std::move(work), scheduler);
    return promise;
}
