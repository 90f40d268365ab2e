// TPRPromise's combinators: all, any, race and reduce. all, any and race do their whole work, conversion and
// observation included, as one task on the queue, so their result never settles during the call.
#include "promises/TPRPromiseFunctions.h"

#include <atomic>

namespace {

using Ptr = TPRPromise::Ptr;

// Non-promise elements become settled promises; an error element becomes a rejected one.
Ptr asPromise(const TPRValue& element) {
    switch (element.kind()) {
    case TPRValue::Kind::Promise:
        return element.promise();
    case TPRValue::Kind::Error:
        return TPRPromise::resolvedWith(element.error());
    case TPRValue::Kind::Object:
        break;
    }
    return TPRPromise::resolvedWith(element.object());
}

} // namespace

TPRPromise::Ptr TPRPromise::all(const Queue& queue, std::vector<TPRValue> elements) {
    if (elements.empty()) return resolvedWith(plat::Object(plat::Object::Array{}));
    return async(
        queue, [queue, elements = std::move(elements)](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
            auto promises = std::make_shared<std::vector<Ptr>>();
            promises->reserve(elements.size());
            for (const TPRValue& element : elements) {
                if (element.isError()) {
                    reject(element.error()); // decided before anything is observed
                    return;
                }
                promises->push_back(asPromise(element));
            }
            // Each promise fulfils at most once, so counting fulfilments tells when all are fulfilled
            // without rescanning every promise for every outcome.
            auto remaining = std::make_shared<std::atomic<size_t>>(promises->size());
            for (const Ptr& promise : *promises) {
                promise->observeOnQueue(
                    queue,
                    [promises, remaining, fulfill](const plat::Object&) {
                        if (remaining->fetch_sub(1) != 1) return;
                        plat::Object::Array values;
                        values.reserve(promises->size());
                        for (const Ptr& p : *promises)
                            values.push_back(TPRPromiseNullForAbsent(p->value()));
                        fulfill(plat::Object(std::move(values)));
                    },
                    reject);
            }
        });
}

TPRPromise::Ptr TPRPromise::any(const Queue& queue, std::vector<TPRValue> elements) {
    if (elements.empty()) return resolvedWith(plat::Object(plat::Object::Array{}));
    return async(
        queue, [queue, elements = std::move(elements)](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
            auto promises = std::make_shared<std::vector<Ptr>>();
            promises->reserve(elements.size());
            for (const TPRValue& element : elements)
                promises->push_back(asPromise(element));
            auto remaining = std::make_shared<std::atomic<size_t>>(promises->size());
            auto anyFulfilled = std::make_shared<std::atomic<bool>>(false);
            for (const Ptr& promise : *promises) {
                promise->observeOnQueue(
                    queue,
                    [promises, remaining, anyFulfilled, fulfill](const plat::Object&) {
                        anyFulfilled->store(true);
                        if (remaining->fetch_sub(1) != 1) return;
                        fulfill(TPRPromiseCombineValuesAndErrors(*promises));
                    },
                    [promises, remaining, anyFulfilled, fulfill, reject](const plat::Error& error) {
                        if (remaining->fetch_sub(1) != 1) return;
                        if (anyFulfilled->load())
                            fulfill(TPRPromiseCombineValuesAndErrors(*promises));
                        else
                            reject(error);
                    });
            }
        });
}

TPRPromise::Ptr TPRPromise::race(const Queue& queue, std::vector<TPRValue> elements) {
    if (elements.empty()) TPRAssertionFailure(__func__, "No promises to observe");
    return async(
        queue, [queue, elements = std::move(elements)](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
            for (const TPRValue& element : elements) {
                if (!element.isPromise()) {
                    fulfill(element);
                    return;
                }
            }
            for (const TPRValue& element : elements) {
                element.promise()->observeOnQueue(
                    queue, [fulfill](const plat::Object& value) { fulfill(value); }, reject);
            }
        });
}

TPRPromise::Ptr TPRPromise::reduce(const Queue& queue, std::vector<plat::Object> items,
                                   TPRReduceWorkBlock reducer) {
    TPR_REQUIRE(reducer, "reducer");
    Ptr promise = self();
    for (plat::Object& item : items) {
        promise = promise->chainOnQueue(
            queue,
            [reducer, item = std::move(item)](const plat::Object& value) { return reducer(value, item); },
            nullptr);
    }
    return promise;
}
