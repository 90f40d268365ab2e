// The promise library's plain functions: combining settled outcomes, one retry attempt, blocking
// until a promise settles, and waiting until the library has no pending work (for tests).
#pragma once

#include "promises/TPRPromise.h"

// `value`, or null when it is absent: how "none" travels inside an array of outcomes.
plat::Object TPRPromiseNullForAbsent(const plat::Object& value);

// For each promise in order, its value (null for none) or its error boxed with TPRErrorObject.
// Every promise must be settled; a pending one aborts with "!promise.isPending".
plat::Object TPRPromiseCombineValuesAndErrors(const std::vector<TPRPromise::Ptr>& promises);

// One run of `work` for the retry operation, on the calling thread: the outcome settles `promise`,
// or, for an error while `remainingAttempts` >= 1 and `condition` (if any) agrees, the next attempt
// is scheduled on `queue` `delay` seconds later with one attempt fewer.
void TPRPromiseRetryAttempt(const TPRPromise::Ptr& promise, const plat::DispatchQueue& queue,
                            int64_t remainingAttempts, double delay, TPRRetryPredicateBlock condition,
                            TPRRetryWorkBlock work, plat::Scheduler& scheduler = plat::Scheduler::system());

// Blocks the calling thread until `promise` settles and returns its value (absent when rejected);
// the error, or none, goes to `error` when given. The outcome is collected on a private concurrent
// queue, so the main thread may await as long as it is not needed to settle the promise.
plat::Object TPRPromiseAwait(const TPRPromise::Ptr& promise, std::optional<plat::Error>* error = nullptr);

// Waits until no promise is pending and no promise work is queued, up to `timeout` seconds;
// true when that happened in time. On the main thread it runs the main queue meanwhile.
bool TPRWaitForPromisesWithTimeout(double timeout);
