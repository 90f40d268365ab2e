// TPRPromise: the asynchronous result object of the library components. A promise starts pending
// and settles exactly once, fulfilled with a value (plat::Object, absent for none) or rejected with
// a plat::Error; later resolutions are ignored. Blocks registered for the outcome always run later
// on their dispatch queue, never during the call that registers or resolves, and observers on one
// serial queue run in the order they were added. No user block and no destructor of a captured
// object runs while a promise's lock is held, so blocks may observe, chain or resolve any promise.
//
// Promises live in std::shared_ptr (pendingPromise()/resolvedWith()). While pending, a promise
// counts once as outstanding work of the library, as does every block it has queued; it stops
// counting when it settles or when it is destroyed still pending, so waiting for dispatchGroup()
// never hangs on abandoned promises. Destroying a long unsettled chain does not recurse.
//
// Blocks that may answer with a value, an error or a promise to follow return a TPRValue (a tagged
// union, see TPRValue.h) rather than a plat::Object carrying the promise: the tag keeps promises
// out of the data model and makes the chaining rule a switch on three cases.
//
// Operations that take no queue use defaultDispatchQueue() as read at the call (the main queue
// unless changed). The queue forms are overloads taking the queue first. `do` and `catch` are C++
// keywords and are spelled `do_` and `catch_`.
//
// Where the members live: TPRPromise.cpp holds everything but the combinators
// (TPRPromiseCombinators.cpp) and the completion-handler wrappers (TPRPromiseWrap.cpp); await,
// retry attempts and waiting for idleness are plain functions (TPRPromiseFunctions.h).
#pragma once

#include "promises/TPRPromiseError.h"
#include "promises/TPRValue.h"

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using TPRFulfillBlock = std::function<void(const plat::Object& value)>;
using TPRRejectBlock = std::function<void(const plat::Error& error)>;
using TPRChainedFulfillBlock = std::function<TPRValue(const plat::Object& value)>;
using TPRChainedRejectBlock = std::function<TPRValue(const plat::Error& error)>;
using TPRThenWorkBlock = std::function<TPRValue(const plat::Object& value)>;
using TPRCatchWorkBlock = std::function<void(const plat::Error& error)>;
using TPRAlwaysWorkBlock = std::function<void()>;
using TPRRecoverWorkBlock = std::function<TPRValue(const plat::Error& error)>;
using TPRValidateWorkBlock = std::function<bool(const plat::Object& value)>;
using TPRDoWorkBlock = std::function<TPRValue()>;
// The fulfil block handed to async work: a value fulfils, an error rejects, a promise is followed.
using TPRAsyncFulfillBlock = std::function<void(const TPRValue& value)>;
using TPRAsyncWorkBlock = std::function<void(TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject)>;
using TPRReduceWorkBlock = std::function<TPRValue(const plat::Object& partial, const plat::Object& item)>;
using TPRRetryWorkBlock = std::function<TPRValue()>;
// Called with the attempts still allowed and the error of the failed run; false stops retrying.
using TPRRetryPredicateBlock = std::function<bool(int64_t remainingAttempts, const plat::Error& error)>;

// Completion blocks handed to the wrap operations' work, one per completion shape.
using TPRErrorOrNone = std::optional<plat::Error>;
using TPRCompletion = std::function<void()>;
using TPRObjectCompletion = std::function<void(const TPRValue& object)>;
using TPRErrorCompletion = std::function<void(const TPRErrorOrNone& error)>;
using TPRObjectOrErrorCompletion = std::function<void(const TPRValue& object, const TPRErrorOrNone& error)>;
using TPRErrorOrObjectCompletion = std::function<void(const TPRErrorOrNone& error, const TPRValue& object)>;
using TPR2ObjectsOrErrorCompletion =
    std::function<void(const plat::Object& first, const plat::Object& second, const TPRErrorOrNone& error)>;
using TPRBoolCompletion = std::function<void(bool value)>;
using TPRBoolOrErrorCompletion = std::function<void(bool value, const TPRErrorOrNone& error)>;
using TPRIntegerCompletion = std::function<void(int64_t value)>;
using TPRIntegerOrErrorCompletion = std::function<void(int64_t value, const TPRErrorOrNone& error)>;
using TPRDoubleCompletion = std::function<void(double value)>;
using TPRDoubleOrErrorCompletion = std::function<void(double value, const TPRErrorOrNone& error)>;

class TPRPromise final {
    class Key {
        Key() = default;
        friend class TPRPromise;
    };

public:
    using Ptr = std::shared_ptr<TPRPromise>;
    using Queue = plat::DispatchQueue;
    enum class State : int64_t { Pending = 0, Fulfilled = 1, Rejected = 2 };

    // Creation -----------------------------------------------------------------------------------
    // A pending promise, counted in the dispatch group until it settles or is destroyed.
    static Ptr pendingPromise();
    // A settled promise that never enters the group: an error (or an object boxing one) rejects,
    // anything else, none included, fulfils.
    static Ptr resolvedWith(const plat::Object& value);
    static Ptr resolvedWith(const plat::Error& error);

    TPRPromise(Key);
    TPRPromise(Key, const plat::Object& value);
    TPRPromise(Key, const plat::Error& error);
    ~TPRPromise();
    TPRPromise(const TPRPromise&) = delete;
    TPRPromise& operator=(const TPRPromise&) = delete;

    // Resolution: only the first one counts. fulfill() with an error (or a boxed one) rejects.
    void fulfill(const plat::Object& value);
    void fulfill(const plat::Error& error) { reject(error); }
    void reject(const plat::Error& error);

    // State, read under the promise's lock.
    State state() const;
    bool isPending() const { return state() == State::Pending; }
    bool isFulfilled() const { return state() == State::Fulfilled; }
    bool isRejected() const { return state() == State::Rejected; }
    // The fulfilment value; absent unless fulfilled.
    plat::Object value() const;
    // The rejection error; none unless rejected.
    std::optional<plat::Error> error() const;

    // The two primitives --------------------------------------------------------------------------
    // Runs onFulfill or onReject with the outcome on `queue`, later, even if already settled.
    void observeOnQueue(const Queue& queue, TPRFulfillBlock onFulfill, TPRRejectBlock onReject);
    // A new promise settled from this one's outcome passed through the optional blocks: a block
    // result that is a promise is followed on `queue`, an error rejects, anything else fulfils. A
    // missing block passes the outcome on unchanged.
    Ptr chainOnQueue(const Queue& queue, TPRChainedFulfillBlock chainedFulfill,
                     TPRChainedRejectBlock chainedReject);

    // Keeps `object` alive while this promise is pending; released once it settles. No effect on
    // a settled promise.
    void addPendingObject(std::shared_ptr<const void> object);

    // Process-wide state --------------------------------------------------------------------------
    static Queue defaultDispatchQueue();
    static void setDefaultDispatchQueue(const Queue& queue);
    // Non-empty exactly while a promise is pending or promise work is queued or running (timed
    // work excepted): waiting for it waits until the library is idle.
    static const plat::DispatchGroup& dispatchGroup();
    // The number of pending promises plus queued or running promise tasks, for tests and
    // diagnostics.
    static long outstandingWork();

    // "<TPRPromise 0x...> Fulfilled: <value>", "... Rejected: <error>" or "... Pending".
    std::string description() const;

    // Chaining and creation -------------------------------------------------------------------------
    // Result takes the work's outcome on fulfilment; a rejection passes on and skips the work.
    Ptr then(TPRThenWorkBlock work) { return then(defaultDispatchQueue(), std::move(work)); }
    Ptr then(const Queue& queue, TPRThenWorkBlock work);
    // Calls `reject` with the error on rejection; the result keeps this promise's outcome.
    Ptr catch_(TPRCatchWorkBlock reject) { return catch_(defaultDispatchQueue(), std::move(reject)); }
    Ptr catch_(const Queue& queue, TPRCatchWorkBlock reject);
    // Runs `work` for either outcome; the result keeps the outcome and settles after the work.
    Ptr always(TPRAlwaysWorkBlock work) { return always(defaultDispatchQueue(), std::move(work)); }
    Ptr always(const Queue& queue, TPRAlwaysWorkBlock work);
    // On rejection the result takes the recovery's outcome; a value passes on unchanged.
    Ptr recover(TPRRecoverWorkBlock recovery) { return recover(defaultDispatchQueue(), std::move(recovery)); }
    Ptr recover(const Queue& queue, TPRRecoverWorkBlock recovery);
    // The value passes if the predicate accepts it, else the result rejects with the validation
    // failure (code 2 of the library's domain).
    Ptr validate(TPRValidateWorkBlock predicate) {
        return validate(defaultDispatchQueue(), std::move(predicate));
    }
    Ptr validate(const Queue& queue, TPRValidateWorkBlock predicate);
    // A promise of the work's outcome; the work runs on a later turn of the queue.
    static Ptr do_(TPRDoWorkBlock work) { return do_(defaultDispatchQueue(), std::move(work)); }
    static Ptr do_(const Queue& queue, TPRDoWorkBlock work);
    // A promise settled by the first call of the blocks handed to `work` (from any thread, any
    // time); the work runs on a later turn of the queue.
    static Ptr async(TPRAsyncWorkBlock work) { return async(defaultDispatchQueue(), std::move(work)); }
    static Ptr async(const Queue& queue, TPRAsyncWorkBlock work);

    // Combinators (TPRPromiseCombinators.cpp). Elements may be promises, values or errors;
    // non-promises count as settled. ----
    // All values in input order (null for none), or the first error.
    static Ptr all(std::vector<TPRValue> promises) {
        return all(defaultDispatchQueue(), std::move(promises));
    }
    static Ptr all(const Queue& queue, std::vector<TPRValue> promises);
    // Once all settled: values and boxed errors in input order; rejects only if none fulfilled.
    static Ptr any(std::vector<TPRValue> promises) {
        return any(defaultDispatchQueue(), std::move(promises));
    }
    static Ptr any(const Queue& queue, std::vector<TPRValue> promises);
    // The first outcome; a non-promise element wins at once. Needs at least one element.
    static Ptr race(std::vector<TPRValue> promises) {
        return race(defaultDispatchQueue(), std::move(promises));
    }
    static Ptr race(const Queue& queue, std::vector<TPRValue> promises);
    // Folds the items through one chained step each; this promise itself when there are none.
    Ptr reduce(std::vector<plat::Object> items, TPRReduceWorkBlock reducer) {
        return reduce(defaultDispatchQueue(), std::move(items), std::move(reducer));
    }
    Ptr reduce(const Queue& queue, std::vector<plat::Object> items, TPRReduceWorkBlock reducer);

    // Timing and retry. Intervals are seconds; NaN and negative mean zero, huge ones saturate. -----
    // Fulfilment is passed on `interval` after it was observed; a rejection passes at once.
    Ptr delay(double interval) { return delay(defaultDispatchQueue(), interval); }
    Ptr delay(const Queue& queue, double interval, plat::Scheduler& scheduler = plat::Scheduler::system());
    // Rejects with the timeout error (code 1) unless this promise settles within `interval`.
    Ptr timeout(double interval) { return timeout(defaultDispatchQueue(), interval); }
    Ptr timeout(const Queue& queue, double interval, plat::Scheduler& scheduler = plat::Scheduler::system());
    // Runs `work` (at once, on the calling thread) and again after each failure, at most
    // attempts + 1 times, `delay` seconds apart, while `condition` (if any) agrees. Settles with the
    // first success or the last error. Defaults: 1 attempt, 1 second, no condition.
    static Ptr retry(TPRRetryWorkBlock work) { return retry(defaultDispatchQueue(), std::move(work)); }
    static Ptr retry(const Queue& queue, TPRRetryWorkBlock work) { return retry(queue, 1, std::move(work)); }
    static Ptr retry(int64_t attempts, TPRRetryWorkBlock work) {
        return retry(defaultDispatchQueue(), attempts, std::move(work));
    }
    static Ptr retry(const Queue& queue, int64_t attempts, TPRRetryWorkBlock work) {
        return retry(queue, attempts, 1.0, nullptr, std::move(work));
    }
    static Ptr retry(int64_t attempts, double delay, TPRRetryPredicateBlock condition,
                     TPRRetryWorkBlock work) {
        return retry(defaultDispatchQueue(), attempts, delay, std::move(condition), std::move(work));
    }
    static Ptr retry(const Queue& queue, int64_t attempts, double delay, TPRRetryPredicateBlock condition,
                     TPRRetryWorkBlock work, plat::Scheduler& scheduler = plat::Scheduler::system());

    // Wrapping completion handlers (TPRPromiseWrap.cpp): `work` runs on a later turn of the queue
    // with a completion of the named shape; an error argument, when present, is tested first and
    // rejects. ----
#define TPR_WRAP(name, Completion)                                                                           \
    static Ptr name(std::function<void(Completion)> work) {                                                  \
        return name(defaultDispatchQueue(), std::move(work));                                                \
    }                                                                                                        \
    static Ptr name(const Queue& queue, std::function<void(Completion)> work);
    TPR_WRAP(wrapCompletion, TPRCompletion)             // fulfils with none
    TPR_WRAP(wrapObjectCompletion, TPRObjectCompletion) // as the async fulfil block
    TPR_WRAP(wrapErrorCompletion, TPRErrorCompletion)   // none fulfils with none
    TPR_WRAP(wrapObjectOrErrorCompletion, TPRObjectOrErrorCompletion)
    TPR_WRAP(wrapErrorOrObjectCompletion, TPRErrorOrObjectCompletion)
    TPR_WRAP(wrap2ObjectsOrErrorCompletion, TPR2ObjectsOrErrorCompletion) // [first, second], null for none
    TPR_WRAP(wrapBoolCompletion, TPRBoolCompletion)                       // boolean Number
    TPR_WRAP(wrapBoolOrErrorCompletion, TPRBoolOrErrorCompletion)
    TPR_WRAP(wrapIntegerCompletion, TPRIntegerCompletion) // 64-bit integer Number
    TPR_WRAP(wrapIntegerOrErrorCompletion, TPRIntegerOrErrorCompletion)
    TPR_WRAP(wrapDoubleCompletion, TPRDoubleCompletion) // double Number
    TPR_WRAP(wrapDoubleOrErrorCompletion, TPRDoubleOrErrorCompletion)
#undef TPR_WRAP

private:
    // One registered pair of blocks, run by a task posted to its queue when the promise settles.
    // A chain link carries the promise it settles in the same allocation (TPRPromise.cpp).
    struct Observer;
    struct BlockObserver;
    struct ChainObserver;
    struct FollowObserver;
    using ObserverPtr = std::shared_ptr<Observer>;

    Ptr self() const {
        return weakSelf_.lock();
    }
    // Count one piece of outstanding work in, or out of, the dispatch group.
    static void enterGroup();
    static void leaveGroup();
    static std::atomic<long>& outstanding();
    void addObserver(ObserverPtr observer);
    void settle(State state, const plat::Object* value, const plat::Error* error);
    // Posts the observer for the settled promise, counted in the group while queued and running.
    static void schedule(ObserverPtr observer, Ptr settled, bool alreadyEntered = false);
    // The chaining rule: follows a promise on `queue`, rejects with an error, fulfils otherwise.
    void resolveOnQueue(const Queue& queue, const TPRValue& resolution);
    // Runs `block` on `queue` counted in the dispatch group while queued and running.
    static void groupAsync(const Queue& queue, plat::Block block);
    // Releases what a promise destroyed unsettled still holds without recursing down its chain.
    void releaseIteratively();

    std::weak_ptr<TPRPromise> weakSelf_;
    mutable std::mutex mutex_;
    State state_ = State::Pending;
    plat::Object value_;
    std::unique_ptr<const plat::Error> error_; // out of line: most promises are never rejected
    // Created on first use, dropped at settlement. The first observer is held directly, as most
    // promises have exactly one.
    ObserverPtr firstObserver_;
    std::unique_ptr<std::vector<ObserverPtr>> moreObservers_;
    std::unique_ptr<std::vector<std::shared_ptr<const void>>> pendingObjects_;
};
