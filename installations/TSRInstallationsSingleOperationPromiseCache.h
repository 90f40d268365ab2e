// Joins concurrent requests for one operation: while the operation's promise is pending every
// caller gets that same promise; once it settles the next caller starts a new one. Thread-safe
// (one lock).
#pragma once

#include "core/TSRException.h"
#include "promises/Promise.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

template <typename Value> class TSRInstallationsSingleOperationPromiseCache {
public:
    using Handler = std::function<promises::Promise<Value>()>;

    // Raises NSInvalidArgumentException for a missing handler.
    explicit TSRInstallationsSingleOperationPromiseCache(Handler newOperationHandler)
        : newOperationHandler_(std::move(newOperationHandler)) {
        if (!newOperationHandler_)
            throw TSRException(kTSRInvalidArgumentException, "`newOperationHandler` must not be `nil`.");
    }

    // The operation in flight, or a new one started by the handler.
    promises::Promise<Value> getExistingPendingOrCreateNewPromise() {
        std::lock_guard guard(state_->lock);
        // A promise that settled is over even before its observer below has cleared it.
        if (!state_->pendingPromise || !state_->pendingPromise->isPending()) {
            promises::Promise<Value> promise = newOperationHandler_();
            state_->pendingPromise = promise;
            // The observers run later, on the promise queue, so they never meet the lock held
            // here; they hold the state weakly, so a cache that goes away first is no problem.
            auto clear = [weakState = std::weak_ptr<State>(state_), core = promise.asObjCPromise().get()] {
                std::shared_ptr<State> state = weakState.lock();
                if (!state) return;
                std::lock_guard inner(state->lock);
                if (state->pendingPromise && state->pendingPromise->asObjCPromise().get() == core)
                    state->pendingPromise.reset();
            };
            promise.asObjCPromise()->observeOnQueue(
                promises::promisesQueue(), [clear](const plat::Object&) { clear(); },
                [clear](const plat::Error&) { clear(); });
        }
        return *state_->pendingPromise;
    }

    // The operation in flight, if any.
    std::optional<promises::Promise<Value>> getExistingPendingPromise() const {
        std::lock_guard guard(state_->lock);
        if (state_->pendingPromise && !state_->pendingPromise->isPending()) return std::nullopt;
        return state_->pendingPromise;
    }

private:
    struct State {
        std::mutex lock;
        std::optional<promises::Promise<Value>> pendingPromise;
    };

    Handler newOperationHandler_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};
