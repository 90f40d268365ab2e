// Subjects: values pushed to subscribers. `PassthroughSubject` forwards what is sent to the
// subscribers of the moment; `CurrentValueSubject` also keeps the last value and hands it to every
// new subscriber at once. Neither fails nor completes.
//
// Threads: subscribing, cancelling and sending may happen on any thread. Subscribers are called on
// the sending thread, in the order they subscribed, never while an internal lock is held, so a
// callback may send, subscribe or cancel freely (also its own subscription). A subscription cancelled
// before a delivery reaches it is not called by that delivery. When `cancel()` returns on another
// thread, no call of that subscriber is still running and none will start; the price is that a
// thread must not cancel a subscription while holding a lock that the subscriber's callback takes.
// Sends from several threads at once are delivered in no guaranteed order.
#pragma once

#include "platform/foundation/Cancellable.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <tuple>
#include <utility>
#include <vector>

namespace plat {

namespace detail {

// The subscriber registry behind every subject and published value.
template <typename... Args> class SubscriberList {
public:
    using Callback = std::function<void(const Args&...)>;

    SubscriberList() : state_(std::make_shared<State>()) {}
    SubscriberList(const SubscriberList&) = delete;
    SubscriberList& operator=(const SubscriberList&) = delete;

    // The lock that guards the list. Owners guard their stored value with it too, so a subscriber's
    // first value and the sends after it arrive in order.
    std::mutex& mutex() const { return state_->mutex; }

    AnyCancellable subscribe(Callback callback) const {
        auto entry = std::make_shared<Entry>(std::move(callback));
        {
            std::lock_guard lock(state_->mutex);
            state_->entries.push_back(entry);
        }
        return handle(entry);
    }

    // Subscribes and delivers `readUnderLock()` (a tuple of arguments, read with the lock held) as
    // the first value. The entry's delivery lock is held from before it joins the list, so a send
    // that races with the subscription reaches it only after this first value.
    template <typename Read> AnyCancellable subscribe(Callback callback, Read readUnderLock) const {
        auto entry = std::make_shared<Entry>(std::move(callback));
        std::unique_lock delivering(entry->delivering);
        auto first = [&] {
            std::lock_guard lock(state_->mutex);
            state_->entries.push_back(entry);
            return readUnderLock();
        }();
        // Made before the first call so that a throwing callback still ends its subscription.
        AnyCancellable handle = this->handle(entry);
        std::apply([&](const auto&... args) { entry->callback(args...); }, first);
        return handle;
    }

    // Runs `storeUnderLock()` and takes the list of subscribers in one locked step, then calls them.
    template <typename Store> void publish(Store storeUnderLock, const Args&... args) const {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard lock(state_->mutex);
            storeUnderLock();
            snapshot = state_->entries;
        }
        for (const auto& entry : snapshot) {
            if (!entry->active.load(std::memory_order_acquire)) continue;
            std::lock_guard delivering(entry->delivering);
            // Checked again under the lock: a cancel that got in first must win.
            if (entry->active.load(std::memory_order_acquire)) entry->callback(args...);
        }
    }

    std::size_t count() const {
        std::lock_guard lock(state_->mutex);
        return state_->entries.size();
    }

private:
    struct Entry {
        explicit Entry(Callback cb) : callback(std::move(cb)) {}
        // Held while the callback runs. Recursive so that a callback may cancel itself or cause a
        // nested delivery to itself on the same thread.
        std::recursive_mutex delivering;
        std::atomic<bool> active{true};
        Callback callback;
    };
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };

    // Stops deliveries to `entry`: later ones skip it, and one running on another thread is waited
    // for. On the delivering thread the lock is already ours, so a callback can cancel itself.
    static void deactivate(Entry& entry) {
        entry.active.store(false, std::memory_order_release);
        std::lock_guard wait(entry.delivering);
    }

    // The handle keeps only weak references: the subscriber's callback (and what it captures) lives
    // as long as the subject lists it, and a handle that outlives its subject cancels nothing.
    AnyCancellable handle(const std::shared_ptr<Entry>& entry) const {
        std::weak_ptr<Entry> weakEntry = entry;
        auto cancel = [weakState = std::weak_ptr<State>(state_), weakEntry] {
            auto entry = weakEntry.lock();
            if (!entry) return;
            deactivate(*entry);
            if (auto state = weakState.lock()) {
                std::shared_ptr<Entry> removed; // released after the lock: its captures may do anything
                std::lock_guard lock(state->mutex);
                auto it = std::find(state->entries.begin(), state->entries.end(), entry);
                if (it != state->entries.end()) {
                    removed = std::move(*it);
                    state->entries.erase(it);
                }
            }
        };
        auto awaitCancel = [weakEntry] {
            if (auto entry = weakEntry.lock()) deactivate(*entry);
        };
        return AnyCancellable(std::move(cancel), std::move(awaitCancel));
    }

    std::shared_ptr<State> state_;
};

} // namespace detail

// Forwards every sent value to the current subscribers; keeps nothing.
template <typename T = void> class PassthroughSubject {
public:
    PassthroughSubject() = default;

    void send(const T& value) {
        list_.publish([] {}, value);
    }
    // Calls `callback` with every value sent from now on, until the handle is cancelled or destroyed.
    [[nodiscard]] AnyCancellable sink(std::function<void(const T&)> callback) const {
        return list_.subscribe(std::move(callback));
    }
    std::size_t subscriberCount() const { return list_.count(); }

private:
    detail::SubscriberList<T> list_;
};

// A signal without a value, such as an object's "will change".
template <> class PassthroughSubject<void> {
public:
    PassthroughSubject() = default;

    void send() {
        list_.publish([] {});
    }
    [[nodiscard]] AnyCancellable sink(std::function<void()> callback) const {
        return list_.subscribe(std::move(callback));
    }
    std::size_t subscriberCount() const { return list_.count(); }

private:
    detail::SubscriberList<> list_;
};

// Holds a value; `send` stores it and then passes it to every subscriber, also when it equals the old
// one. A new subscriber receives the current value at once.
template <typename T> class CurrentValueSubject {
public:
    explicit CurrentValueSubject(T initial) : value_(std::move(initial)) {}

    // A copy of the current value, safe to take on any thread.
    T value() const {
        std::lock_guard lock(list_.mutex());
        return value_;
    }
    void send(T value) {
        list_.publish([&] { value_ = value; }, value);
    }
    [[nodiscard]] AnyCancellable sink(std::function<void(const T&)> callback) const {
        return list_.subscribe(std::move(callback), [this] { return std::tuple<T>(value_); });
    }
    std::size_t subscriberCount() const { return list_.count(); }

private:
    detail::SubscriberList<T> list_;
    T value_;
};

} // namespace plat
