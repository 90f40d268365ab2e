// then, catch, always, recover and validate (all thin layers over chainOnQueue), and the two ways
// to start a promise from work: do and async.
#include "promises/TPRPromise.h"

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
