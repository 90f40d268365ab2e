// The promise library's plain functions (TPRPromiseFunctions.h): combining settled outcomes, one
// retry attempt, blocking until a promise settles and waiting for the library to fall idle.
#include "promises/TPRPromiseFunctions.h"

#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/RunLoop.h"

using Ptr = TPRPromise::Ptr;

plat::Object TPRPromiseNullForAbsent(const plat::Object& value) {
    return value.isAbsent() ? plat::Object::null() : value;
}

plat::Object TPRPromiseCombineValuesAndErrors(const std::vector<TPRPromise::Ptr>& promises) {
    plat::Object::Array combined;
    combined.reserve(promises.size());
    for (const Ptr& promise : promises) {
        if (promise->isPending()) TPRAssertionFailure(__func__, "!promise.isPending");
        if (auto error = promise->error())
            combined.push_back(TPRErrorObject(*error));
        else
            combined.push_back(TPRPromiseNullForAbsent(promise->value()));
    }
    return plat::Object(std::move(combined));
}

void TPRPromiseRetryAttempt(const Ptr& promise, const plat::DispatchQueue& queue, int64_t remainingAttempts,
                            double delay, TPRRetryPredicateBlock condition, TPRRetryWorkBlock work,
                            plat::Scheduler& scheduler) {
    TPR_REQUIRE(work, "work");
    auto handler = [promise, queue, remainingAttempts, delay, condition, work,
                    scheduler = &scheduler](const TPRValue& outcome) {
        if (!outcome.isError()) {
            promise->fulfill(outcome.object());
            return;
        }
        const plat::Error& error = outcome.error();
        if (remainingAttempts >= 1 && (!condition || condition(remainingAttempts, error))) {
            queue.asyncAfter(
                plat::durationFromSeconds(delay),
                [promise, queue, remainingAttempts, delay, condition, work, scheduler] {
                    TPRPromiseRetryAttempt(promise, queue, remainingAttempts - 1, delay, condition, work,
                                           *scheduler);
                },
                *scheduler);
        } else {
            promise->reject(error);
        }
    };
    TPRValue result = work();
    if (result.isPromise()) {
        result.promise()->observeOnQueue(
            queue, [handler](const plat::Object& value) { handler(value); },
            [handler](const plat::Error& error) { handler(error); });
    } else {
        handler(result);
    }
}

plat::Object TPRPromiseAwait(const Ptr& promise, std::optional<plat::Error>* error) {
    if (!promise) TPRAssertionFailure(__func__, "promise");
    static const auto* const awaitQueue =
        new plat::DispatchQueue("com.tessera.TPRPromises.Await", plat::DispatchQueue::Attributes::Concurrent);
    struct Outcome {
        plat::DispatchSemaphore settled;
        plat::Object value;
        std::optional<plat::Error> error;
    };
    auto outcome = std::make_shared<Outcome>();
    promise->chainOnQueue(
        *awaitQueue,
        [outcome](const plat::Object& value) -> TPRValue {
            outcome->value = value;
            outcome->settled.signal();
            return value;
        },
        [outcome](const plat::Error& e) -> TPRValue {
            outcome->error = e;
            outcome->settled.signal();
            return e;
        });
    outcome->settled.wait();
    if (error) *error = outcome->error;
    return outcome->value;
}

bool TPRWaitForPromisesWithTimeout(double timeout) {
    using namespace std::chrono_literals;
    const plat::DispatchGroup& group = TPRPromise::dispatchGroup();
    const plat::Clock& clock = plat::Clock::system();
    const plat::TimePoint deadline = clock.now() + plat::durationFromSeconds(timeout);
    if (group.wait(10ms)) return true;
    const auto idle = [&group] { return group.count() == 0; };
    for (;;) {
        if (clock.now() >= deadline) return false;
        // Main-queue promise work can only progress while this thread runs the main queue.
        if (plat::isMainThread())
            plat::RunLoop::main().runUntil(idle, 10ms);
        else
            group.wait(10ms);
        if (idle()) return true;
    }
}
