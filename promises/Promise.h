// Promise<Value>: the typed front of the promise library. A Promise is a cheap handle on one core
// TPRPromise (copies share it); every operation converts typed values, errors and blocks for the
// core (PromiseBoxing.h) and delegates to it, so ordering, threading and group accounting are the
// core's. Blocks run on the queue given first (promisesQueue() for the library default). Work
// blocks report failure by throwing plat::Error or PromiseError; that rejects the result and never
// escapes to the caller. A result promise needs no owner: the core work that settles it holds it.
#pragma once

#include "promises/Maybe.h"
#include "promises/TPRPromise.h"

#include <initializer_list>

namespace promises {

template <typename Value> class Promise;

// The library's default queue (the main queue unless changed) and its setter.
inline plat::DispatchQueue promisesQueue() {
    return TPRPromise::defaultDispatchQueue();
}
inline void setPromisesQueue(const plat::DispatchQueue& queue) {
    TPRPromise::setDefaultDispatchQueue(queue);
}

namespace detail {

template <typename T> struct IsPromise : std::false_type {};
template <typename T> struct IsPromise<Promise<T>> : std::true_type {};
// The promise type a work result becomes: a typed promise stays itself, a value is wrapped.
template <typename R> struct PromiseFor { using type = Promise<R>; };
template <typename T> struct PromiseFor<Promise<T>> { using type = Promise<T>; };

// Runs `f`, turning a thrown library error into the rejection it stands for.
template <typename F> TPRValue catching(F&& f) {
    try {
        return f();
    } catch (const plat::Error& error) {
        return error;
    } catch (PromiseError error) {
        return asError(error);
    }
}

// A core value that does not convert to the promise's type is a programming error: the typed
// operations never store one, so meeting one means a core promise was wrapped with the wrong type.
template <typename T> T requireValue(const plat::Object& object) {
    auto value = asValue<T>(object);
    if (!value)
        TPRAssertionFailure("Promise", "a value of type " + unqualifiedTypeName(typeid(T)) +
                                           " was expected, found " + object.debugDescription());
    return std::move(*value);
}

// Calls work with the value; work on a Promise<Void> may also take no argument.
template <typename Value, typename Work> decltype(auto) callWith(Work& work, const Value& value) {
    if constexpr (std::is_invocable_v<Work&, const Value&>)
        return work(value);
    else
        return work();
}
template <typename Value, typename Work>
using CallResult = decltype(callWith<Value>(std::declval<Work&>(), std::declval<const Value&>()));

// A work result as the core sees it: a typed promise is followed, a value is boxed (an error value
// rejects).
template <typename R> TPRValue toCore(const R& result) {
    if constexpr (IsPromise<R>::value)
        return TPRValue(result.asObjCPromise());
    else
        return TPRValue(asAnyObject<R>(result));
}

} // namespace detail

template <typename Value> class Promise {
public:
    using ValueType = Value;
    using Queue = plat::DispatchQueue;
    using Fulfill = std::function<void(const Value&)>;
    using Reject = std::function<void(const plat::Error&)>;

    // Creation ---------------------------------------------------------------------------------
    // A pending promise.
    Promise() : core_(TPRPromise::pendingPromise()) {}
    static Promise pending() { return Promise(); }
    // A rejected promise.
    Promise(const plat::Error& error) : core_(TPRPromise::resolvedWith(error)) {}
    Promise(PromiseError error) : Promise(asError(error)) {}
    // A fulfilled promise (rejected if the value is an error object).
    Promise(const Value& value) requires(!std::is_same_v<Value, plat::Error>)
        : core_(TPRPromise::resolvedWith(asAnyObject(value))) {}
    // Wraps a core promise; its values must convert to Value.
    explicit Promise(TPRPromise::Ptr core) : core_(std::move(core)) { TPR_REQUIRE(core_, "objCPromise"); }
    // Work on a later turn of `queue`, in one of three shapes: (Fulfill, Reject) -> void settles
    // through the blocks; () -> Value fulfils with the result; () -> Promise<Value> is followed.
    template <typename Work>
    requires std::is_invocable_v<Work&, Fulfill, Reject> || std::is_invocable_v<Work&>
    Promise(const Queue& queue, Work work) : core_(start(queue, std::move(work))) {}

    void fulfill(const Value& value) const { core_->fulfill(asAnyObject(value)); }
    void reject(const plat::Error& error) const { core_->reject(error); }
    void reject(PromiseError error) const { core_->reject(asError(error)); }

    // State --------------------------------------------------------------------------------------
    bool isPending() const { return core_->isPending(); }
    bool isFulfilled() const { return core_->isFulfilled(); }
    bool isRejected() const { return core_->isRejected(); }
    // None unless fulfilled with something; a library error compares equal to its PromiseError.
    std::optional<Value> value() const {
        plat::Object object = core_->value();
        if (object.isAbsent()) return std::nullopt;
        return asValue<Value>(object);
    }
    std::optional<plat::Error> error() const { return core_->error(); }
    const TPRPromise::Ptr& asObjCPromise() const { return core_; }
    // "Fulfilled: <value or nil>", "Rejected: <error>" or "Pending: <type name>".
    std::string description() const {
        if (core_->isFulfilled()) {
            plat::Object object = core_->value();
            return "Fulfilled: " + (object.isAbsent() ? std::string("nil") : object.debugDescription());
        }
        if (auto failure = core_->error()) return "Rejected: " + describeError(*failure);
        return "Pending: " + unqualifiedTypeName(typeid(Value));
    }

    // Operations ---------------------------------------------------------------------------------
    // Work takes the value and returns a Promise<U> (followed), a U (fulfils) or nothing (the
    // value passes on after the work ran).
    template <typename Work> auto then(const Queue& queue, Work work) const {
        using R = std::decay_t<detail::CallResult<Value, Work>>;
        if constexpr (std::is_void_v<R>) {
            return Promise<Value>(
                core_->then(queue, [work = std::move(work)](const plat::Object& object) mutable {
                    return detail::catching([&]() -> TPRValue {
                        detail::callWith<Value>(work, detail::requireValue<Value>(object));
                        return object;
                    });
                }));
        } else {
            return typename detail::PromiseFor<R>::type(
                core_->then(queue, [work = std::move(work)](const plat::Object& object) mutable {
                    return detail::catching([&] {
                        return detail::toCore(
                            detail::callWith<Value>(work, detail::requireValue<Value>(object)));
                    });
                }));
        }
    }
    // Runs `work` with the error on rejection; the result keeps the outcome.
    template <typename Work> Promise catch_(const Queue& queue, Work work) const {
        return Promise(core_->catch_(queue, TPRCatchWorkBlock(std::move(work))));
    }
    // On rejection, work returns a Promise<Value> (followed) or a Value (fulfils); may throw.
    template <typename Work> Promise recover(const Queue& queue, Work work) const {
        return Promise(core_->recover(queue, [work = std::move(work)](const plat::Error& error) mutable {
            return detail::catching([&] { return detail::toCore(work(error)); });
        }));
    }
    template <typename Work> Promise always(const Queue& queue, Work work) const {
        return Promise(core_->always(queue, TPRAlwaysWorkBlock(std::move(work))));
    }
    // Rejects with PromiseError::validationFailure when the predicate returns false.
    template <typename Predicate> Promise validate(const Queue& queue, Predicate predicate) const {
        return Promise(
            core_->validate(queue, [predicate = std::move(predicate)](const plat::Object& object) mutable {
                return static_cast<bool>(predicate(detail::requireValue<Value>(object)));
            }));
    }
    Promise delay(const Queue& queue, double interval,
                  plat::Scheduler& scheduler = plat::Scheduler::system()) const {
        return Promise(core_->delay(queue, interval, scheduler));
    }
    // Rejects with PromiseError::timedOut unless settled within `interval` seconds.
    Promise timeout(const Queue& queue, double interval,
                    plat::Scheduler& scheduler = plat::Scheduler::system()) const {
        return Promise(core_->timeout(queue, interval, scheduler));
    }
    // One `then` step per item: reducer(value, item) returns a Promise<Value> or a Value.
    template <typename Items, typename Reducer>
    Promise reduce(const Queue& queue, const Items& items, Reducer reducer) const {
        Promise result = *this;
        for (const auto& item : items) {
            result = result.then(queue, [reducer, item](const Value& value) { return reducer(value, item); });
        }
        return result;
    }
    template <typename Item, typename Reducer>
    Promise reduce(const Queue& queue, std::initializer_list<Item> items, Reducer reducer) const {
        return reduce(queue, std::vector<Item>(items), std::move(reducer));
    }

private:
    template <typename Work> static TPRPromise::Ptr start(const Queue& queue, Work work) {
        if constexpr (std::is_invocable_v<Work&, Fulfill, Reject>) {
            return TPRPromise::async(
                queue, [work = std::move(work)](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) mutable {
                    TPRValue thrown = detail::catching([&] {
                        work(Fulfill([fulfill](const Value& value) { fulfill(asAnyObject(value)); }),
                             Reject(reject));
                        return TPRValue();
                    });
                    if (thrown.isError()) reject(thrown.error());
                });
        } else {
            using R = std::decay_t<std::invoke_result_t<Work&>>;
            static_assert(std::is_same_v<typename detail::PromiseFor<R>::type, Promise<Value>>,
                          "work must return Value or Promise<Value>");
            return TPRPromise::do_(queue, [work = std::move(work)]() mutable {
                return detail::catching([&] { return detail::toCore(work()); });
            });
        }
    }

    TPRPromise::Ptr core_;
};

} // namespace promises
