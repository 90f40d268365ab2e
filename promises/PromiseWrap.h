// wrap(): turns a call in completion-handler style into a typed promise. The work takes the
// completion as a std::function, whose argument list picks the shape and the result type:
//   ()                                         -> Promise<plat::Object>, fulfilled with none
//   (V)                                        -> Promise<V>
//   (V, std::optional<plat::Error>)            -> Promise<V>, the error (tested first) rejects
//   (std::optional<plat::Error>, V)            -> Promise<V>, likewise
//   (std::optional<A>, std::optional<B>, std::optional<plat::Error>)
//                                              -> Promise<std::pair<std::optional<A>, std::optional<B>>>
// V may itself be an optional. The work runs on a later turn of `queue` and may throw to reject.
#pragma once

#include "promises/Promise.h"

#include <utility>

namespace promises {

namespace detail {

template <typename F> struct CompletionArgument;
template <typename C, typename R, typename A> struct CompletionArgument<R (C::*)(A) const> {
    using type = std::decay_t<A>;
};
template <typename C, typename R, typename A> struct CompletionArgument<R (C::*)(A)> {
    using type = std::decay_t<A>;
};

template <typename T>
inline constexpr bool isOptionalError = std::is_same_v<std::decay_t<T>, std::optional<plat::Error>>;

template <typename Completion> struct WrapShape;

template <> struct WrapShape<std::function<void()>> {
    using Result = plat::Object;
    static std::function<void()> make(const Promise<Result>::Fulfill& fulfill,
                                      const Promise<Result>::Reject&) {
        return [fulfill] { fulfill(plat::Object()); };
    }
};

template <typename A> struct WrapShape<std::function<void(A)>> {
    using Result = std::decay_t<A>;
    static std::function<void(A)> make(const typename Promise<Result>::Fulfill& fulfill,
                                       const typename Promise<Result>::Reject&) {
        return [fulfill](A value) { fulfill(value); };
    }
};

template <typename A, typename B> struct WrapShape<std::function<void(A, B)>> {
    static_assert(isOptionalError<A> != isOptionalError<B>,
                  "one of the two arguments is std::optional<plat::Error>");
    using Result = std::decay_t<std::conditional_t<isOptionalError<A>, B, A>>;
    static std::function<void(A, B)> make(const typename Promise<Result>::Fulfill& fulfill,
                                          const typename Promise<Result>::Reject& reject) {
        return [fulfill, reject](A a, B b) {
            if constexpr (isOptionalError<A>) {
                if (a)
                    reject(*a);
                else
                    fulfill(b);
            } else {
                if (b)
                    reject(*b);
                else
                    fulfill(a);
            }
        };
    }
};

template <typename A, typename B, typename E> struct WrapShape<std::function<void(A, B, E)>> {
    static_assert(isOptionalError<E>, "the third argument is std::optional<plat::Error>");
    using Result = std::pair<std::decay_t<A>, std::decay_t<B>>;
    static std::function<void(A, B, E)> make(const typename Promise<Result>::Fulfill& fulfill,
                                             const typename Promise<Result>::Reject& reject) {
        return [fulfill, reject](A a, B b, E error) {
            if (error)
                reject(*error);
            else
                fulfill(Result(a, b));
        };
    }
};

} // namespace detail

template <typename Work> auto wrap(const plat::DispatchQueue& queue, Work work) {
    using Completion = typename detail::CompletionArgument<decltype(&Work::operator())>::type;
    using Shape = detail::WrapShape<Completion>;
    using Result = typename Shape::Result;
    return Promise<Result>(queue, [work = std::move(work)](typename Promise<Result>::Fulfill fulfill,
                                                           typename Promise<Result>::Reject reject) mutable {
        work(Shape::make(fulfill, reject));
    });
}

} // namespace promises
