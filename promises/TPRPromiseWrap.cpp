// TPRPromise's completion-handler wrappers: each builds a completion of its shape around the async fulfil
// and reject blocks and hands it to the work, which runs on a later turn of the queue. An error
// argument is tested first and rejects whatever the other arguments hold.
#include "promises/TPRPromiseFunctions.h"

namespace {

template <typename Completion, typename Build>
TPRPromise::Ptr wrapWith(const plat::DispatchQueue& queue, std::function<void(Completion)> work,
                         Build build) {
    TPR_REQUIRE(work, "work");
    return TPRPromise::async(
        queue, [work = std::move(work), build](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
            work(build(std::move(fulfill), std::move(reject)));
        });
}

// The fulfil outcome for a value, unless `error` holds one.
template <typename Value>
void deliver(const TPRAsyncFulfillBlock& fulfill, const TPRRejectBlock& reject, Value&& value,
             const TPRErrorOrNone& error) {
    if (error)
        reject(*error);
    else
        fulfill(std::forward<Value>(value));
}

} // namespace

TPRPromise::Ptr TPRPromise::wrapCompletion(const Queue& queue, std::function<void(TPRCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock) {
        return TPRCompletion([fulfill] { fulfill(TPRValue()); });
    });
}

TPRPromise::Ptr TPRPromise::wrapObjectCompletion(const Queue& queue,
                                                 std::function<void(TPRObjectCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock) {
        return TPRObjectCompletion([fulfill](const TPRValue& object) { fulfill(object); });
    });
}

TPRPromise::Ptr TPRPromise::wrapErrorCompletion(const Queue& queue,
                                                std::function<void(TPRErrorCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPRErrorCompletion(
            [fulfill, reject](const TPRErrorOrNone& error) { deliver(fulfill, reject, TPRValue(), error); });
    });
}

TPRPromise::Ptr
TPRPromise::wrapObjectOrErrorCompletion(const Queue& queue,
                                        std::function<void(TPRObjectOrErrorCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPRObjectOrErrorCompletion(
            [fulfill, reject](const TPRValue& object, const TPRErrorOrNone& error) {
                deliver(fulfill, reject, object, error);
            });
    });
}

TPRPromise::Ptr
TPRPromise::wrapErrorOrObjectCompletion(const Queue& queue,
                                        std::function<void(TPRErrorOrObjectCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPRErrorOrObjectCompletion(
            [fulfill, reject](const TPRErrorOrNone& error, const TPRValue& object) {
                deliver(fulfill, reject, object, error);
            });
    });
}

TPRPromise::Ptr
TPRPromise::wrap2ObjectsOrErrorCompletion(const Queue& queue,
                                          std::function<void(TPR2ObjectsOrErrorCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPR2ObjectsOrErrorCompletion([fulfill, reject](const plat::Object& first,
                                                              const plat::Object& second,
                                                              const TPRErrorOrNone& error) {
            deliver(fulfill, reject,
                    plat::Object(
                        plat::Object::Array{TPRPromiseNullForAbsent(first), TPRPromiseNullForAbsent(second)}),
                    error);
        });
    });
}

TPRPromise::Ptr TPRPromise::wrapBoolCompletion(const Queue& queue,
                                               std::function<void(TPRBoolCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock) {
        return TPRBoolCompletion([fulfill](bool value) { fulfill(plat::Object(plat::Number(value))); });
    });
}

TPRPromise::Ptr TPRPromise::wrapBoolOrErrorCompletion(const Queue& queue,
                                                      std::function<void(TPRBoolOrErrorCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPRBoolOrErrorCompletion([fulfill, reject](bool value, const TPRErrorOrNone& error) {
            deliver(fulfill, reject, plat::Object(plat::Number(value)), error);
        });
    });
}

TPRPromise::Ptr TPRPromise::wrapIntegerCompletion(const Queue& queue,
                                                  std::function<void(TPRIntegerCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock) {
        return TPRIntegerCompletion([fulfill](int64_t value) { fulfill(plat::Object(plat::Number(value))); });
    });
}

TPRPromise::Ptr
TPRPromise::wrapIntegerOrErrorCompletion(const Queue& queue,
                                         std::function<void(TPRIntegerOrErrorCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPRIntegerOrErrorCompletion([fulfill, reject](int64_t value, const TPRErrorOrNone& error) {
            deliver(fulfill, reject, plat::Object(plat::Number(value)), error);
        });
    });
}

TPRPromise::Ptr TPRPromise::wrapDoubleCompletion(const Queue& queue,
                                                 std::function<void(TPRDoubleCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock) {
        return TPRDoubleCompletion([fulfill](double value) { fulfill(plat::Object(plat::Number(value))); });
    });
}

TPRPromise::Ptr
TPRPromise::wrapDoubleOrErrorCompletion(const Queue& queue,
                                        std::function<void(TPRDoubleOrErrorCompletion)> work) {
    return wrapWith(queue, std::move(work), [](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        return TPRDoubleOrErrorCompletion([fulfill, reject](double value, const TPRErrorOrNone& error) {
            deliver(fulfill, reject, plat::Object(plat::Number(value)), error);
        });
    });
}
