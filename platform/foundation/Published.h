// A published value: it stores each assigned value and then passes it to every subscriber, also when
// it equals the old one; a new subscriber receives the current value at once. An optional
// "will change" hook runs before each store (an ObservableObject owner sends objectWillChange).
//
// Threads: values are assigned on the main thread; reading, subscribing and cancelling are safe on
// any thread (see Subject.h for the delivery rules).
#pragma once

#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Subject.h"

#include <concepts>
#include <functional>
#include <tuple>
#include <utility>

namespace plat {

template <typename T> class Published {
public:
    Published() requires std::default_initializable<T> : value_() {}
    explicit Published(T initial) : value_(std::move(initial)) {}
    // A member of `owner`: every assignment first sends the owner's objectWillChange.
    Published(ObservableObject* owner, T initial)
        : willChange_(owner ? std::function<void()>([owner] { owner->objectWillChange().send(); })
                            : std::function<void()>()),
          value_(std::move(initial)) {}
    // Runs `willChange` before every store.
    Published(std::function<void()> willChange, T initial)
        : willChange_(std::move(willChange)), value_(std::move(initial)) {}

    // Subscribers and the owner hook belong to this one value; it is neither copied nor moved.
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    // A copy of the current value.
    T get() const {
        std::lock_guard lock(list_.mutex());
        return value_;
    }
    T operator()() const { return get(); }
    operator T() const { return get(); }

    // Runs the will-change hook (which still sees the old value), stores `value`, then notifies.
    void set(T value) {
        if (willChange_) willChange_();
        list_.publish([&] { value_ = value; }, value);
    }
    Published& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    // Calls `callback` with the current value now and with every value assigned later.
    [[nodiscard]] AnyCancellable sink(std::function<void(const T&)> callback) const {
        return list_.subscribe(std::move(callback), [this] { return std::tuple<T>(value_); });
    }
    std::size_t subscriberCount() const { return list_.count(); }

private:
    std::function<void()> willChange_;
    detail::SubscriberList<T> list_;
    T value_;
};

} // namespace plat
