// Free functions of the typed front: all, any, race, retry and awaitPromise over Promise<Value>.
#pragma once

#include "promises/Promise.h"
#include "promises/TPRPromiseFunctions.h"

#include <tuple>
#include <utility>

namespace promises {

namespace detail {

template <typename Promises> std::vector<TPRValue> cores(const Promises& promises) {
    std::vector<TPRValue> elements;
    for (const auto& promise : promises)
        elements.emplace_back(promise.asObjCPromise());
    return elements;
}

// Element i of the core's result array, converted to the i-th type.
template <typename Tuple, size_t... I>
Tuple tupleFrom(const plat::Object::Array& array, std::index_sequence<I...>) {
    return Tuple(requireValue<std::tuple_element_t<I, Tuple>>(array.at(I))...);
}

} // namespace detail

// All values in input order, or the first error.
template <typename Value>
Promise<std::vector<Value>> all(const plat::DispatchQueue& queue,
                                const std::vector<Promise<Value>>& promises) {
    return Promise<std::vector<Value>>(TPRPromise::all(queue, detail::cores(promises)));
}
template <typename Value>
Promise<std::vector<Value>> all(const plat::DispatchQueue& queue,
                                std::initializer_list<Promise<Value>> promises) {
    return all(queue, std::vector<Promise<Value>>(promises));
}
// Promises of different types: the tuple of their values in argument order.
template <typename A, typename B, typename... More>
Promise<std::tuple<A, B, More...>> all(const plat::DispatchQueue& queue, const Promise<A>& a,
                                       const Promise<B>& b, const Promise<More>&... more) {
    using Tuple = std::tuple<A, B, More...>;
    auto joined = TPRPromise::all(queue, {a.asObjCPromise(), b.asObjCPromise(), more.asObjCPromise()...});
    return Promise<Tuple>(joined->then(queue, [](const plat::Object& values) -> TPRValue {
        return asAnyObject(
            detail::tupleFrom<Tuple>(values.array(), std::index_sequence_for<A, B, More...>()));
    }));
}

// Once every promise settled: each outcome in input order; rejects only when none fulfilled.
template <typename Value>
Promise<std::vector<Maybe<Value>>> any(const plat::DispatchQueue& queue,
                                       const std::vector<Promise<Value>>& promises) {
    return Promise<std::vector<Maybe<Value>>>(TPRPromise::any(queue, detail::cores(promises)));
}
template <typename Value>
Promise<std::vector<Maybe<Value>>> any(const plat::DispatchQueue& queue,
                                       std::initializer_list<Promise<Value>> promises) {
    return any(queue, std::vector<Promise<Value>>(promises));
}
template <typename A, typename B, typename... More>
Promise<std::tuple<Maybe<A>, Maybe<B>, Maybe<More>...>> any(const plat::DispatchQueue& queue,
                                                            const Promise<A>& a, const Promise<B>& b,
                                                            const Promise<More>&... more) {
    using Tuple = std::tuple<Maybe<A>, Maybe<B>, Maybe<More>...>;
    auto joined = TPRPromise::any(queue, {a.asObjCPromise(), b.asObjCPromise(), more.asObjCPromise()...});
    return Promise<Tuple>(joined->then(queue, [](const plat::Object& outcomes) -> TPRValue {
        return asAnyObject(
            detail::tupleFrom<Tuple>(outcomes.array(), std::index_sequence_for<A, B, More...>()));
    }));
}

// The first outcome. Needs at least one promise.
template <typename Value>
Promise<Value> race(const plat::DispatchQueue& queue, const std::vector<Promise<Value>>& promises) {
    return Promise<Value>(TPRPromise::race(queue, detail::cores(promises)));
}
template <typename Value>
Promise<Value> race(const plat::DispatchQueue& queue, std::initializer_list<Promise<Value>> promises) {
    return race(queue, std::vector<Promise<Value>>(promises));
}

// Runs `work` (returning a Promise<Value>; a throw counts as a failed run) at most attempts + 1
// times, `delay` seconds apart, while `condition(remainingAttempts, error)` (if given) agrees.
template <typename Work>
auto retry(const plat::DispatchQueue& queue, int64_t attempts, double delay,
           std::function<bool(int64_t, const plat::Error&)> condition, Work work,
           plat::Scheduler& scheduler = plat::Scheduler::system()) {
    using Result = std::decay_t<std::invoke_result_t<Work&>>;
    static_assert(detail::IsPromise<Result>::value, "retry work returns a Promise");
    return Result(TPRPromise::retry(
        queue, attempts, delay, std::move(condition),
        [work = std::move(work)]() mutable {
            return detail::catching([&] { return detail::toCore(work()); });
        },
        scheduler));
}

// Blocks until the promise settles; returns the value or throws the plat::Error of a rejection.
template <typename Value> Value awaitPromise(const Promise<Value>& promise) {
    std::optional<plat::Error> error;
    plat::Object value = TPRPromiseAwait(promise.asObjCPromise(), &error);
    if (error) throw *error;
    return detail::requireValue<Value>(value);
}

} // namespace promises
