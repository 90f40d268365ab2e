// A handle that owns one subscription: the subscription ends when the handle is cancelled or
// destroyed. Move-only. `cancel()` may be called from any thread, from inside the subscription's own
// callback, and more than once; only the first call ends the subscription.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace plat {

class AnyCancellable {
public:
    // An empty handle that cancels nothing.
    AnyCancellable() = default;
    // Owns `cancel`, which runs once: on the first `cancel()` or when the handle is destroyed.
    explicit AnyCancellable(std::function<void()> cancel) : AnyCancellable(std::move(cancel), nullptr) {}
    // As above; a `cancel()` that loses the race against a concurrent first call runs `awaitCancel`
    // instead, which must return only once the subscription's effects have stopped (subjects use it
    // to wait for a callback still running on another thread).
    AnyCancellable(std::function<void()> cancel, std::function<void()> awaitCancel)
        : actions_(cancel ? std::make_unique<Actions>(std::move(cancel), std::move(awaitCancel)) : nullptr) {}

    AnyCancellable(AnyCancellable&& other) noexcept
        : actions_(std::move(other.actions_)), cancelled_(other.cancelled_.load()) {}
    // Ends the subscription held so far, then takes over `other`'s.
    AnyCancellable& operator=(AnyCancellable&& other) noexcept {
        if (this != &other) {
            cancel();
            actions_ = std::move(other.actions_);
            cancelled_.store(other.cancelled_.load());
        }
        return *this;
    }
    AnyCancellable(const AnyCancellable&) = delete;
    AnyCancellable& operator=(const AnyCancellable&) = delete;
    // Cancels; the actions are freed only here, so a concurrent cancel() can still use them.
    ~AnyCancellable() { cancel(); }

    void cancel() {
        if (!actions_) return;
        if (!cancelled_.exchange(true)) {
            actions_->cancel();
        } else if (actions_->awaitCancel) {
            actions_->awaitCancel();
        }
    }

    // True while the handle still holds a subscription it has not cancelled.
    bool isActive() const { return actions_ && !cancelled_.load(); }

    // Moves this handle into `bag`; the subscription then lives as long as the bag keeps it.
    void store(std::vector<AnyCancellable>& bag) && { bag.push_back(std::move(*this)); }

private:
    struct Actions {
        Actions(std::function<void()> c, std::function<void()> a)
            : cancel(std::move(c)), awaitCancel(std::move(a)) {}
        std::function<void()> cancel;
        std::function<void()> awaitCancel;
    };
    std::unique_ptr<Actions> actions_;
    std::atomic<bool> cancelled_{false};
};

} // namespace plat
