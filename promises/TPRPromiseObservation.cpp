// The two primitives, observation and chaining, and how their blocks reach the queues.
//
// Each registered pair of blocks is one Observer. When the promise settles, the observer is posted
// to its queue as a block holding one plain pointer, which fits in the block's inline storage, so
// posting allocates nothing. The posted observer owns itself through `selfWhilePosted` until its
// task has run. A chain link also carries, in the same allocation, the promise it settles; that
// promise is handed out through an aliasing pointer, so one `then` step costs one allocation.
#include "promises/TPRPromise.h"

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
