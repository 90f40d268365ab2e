#include "platform/net/NetworkReachability.h"

#include <mutex>

namespace plat {

struct NetworkReachability::State {
    std::mutex lock;
    Callback callback;
    std::optional<DispatchQueue> queue;
    std::optional<uint32_t> lastDelivered;
    bool listening = false;
};

std::shared_ptr<NetworkReachability>
NetworkReachability::createWithZeroAddress(std::shared_ptr<NetworkPathMonitor> monitor) {
    if (!monitor) monitor = KernelNetworkPathMonitor::shared();
    return std::shared_ptr<NetworkReachability>(new NetworkReachability(std::move(monitor)));
}

NetworkReachability::NetworkReachability(std::shared_ptr<NetworkPathMonitor> monitor)
    : monitor_(std::move(monitor)), state_(std::make_shared<State>()) {}

NetworkReachability::~NetworkReachability() {
    bool listening = false;
    {
        std::lock_guard guard(state_->lock);
        listening = state_->listening;
    }
    if (listening) monitor_->setChangeHandler(nullptr);
}

bool NetworkReachability::getFlags(uint32_t& flags) const {
    std::optional<uint32_t> now = monitor_->currentFlags();
    if (!now) return false;
    flags = *now;
    return true;
}

bool NetworkReachability::setCallback(Callback callback) {
    {
        std::lock_guard guard(state_->lock);
        state_->callback = std::move(callback);
    }
    updateListening();
    return true;
}

bool NetworkReachability::setDispatchQueue(std::optional<DispatchQueue> queue) {
    {
        std::lock_guard guard(state_->lock);
        state_->queue = std::move(queue);
    }
    updateListening();
    return true;
}

void NetworkReachability::updateListening() {
    bool want = false, change = false;
    {
        std::lock_guard guard(state_->lock);
        want = state_->callback && state_->queue;
        change = want != state_->listening;
        state_->listening = want;
        if (want && change) {
            // Changes are measured from the state at the moment listening starts.
            state_->lastDelivered = monitor_->currentFlags();
        }
    }
    if (!change) return;
    if (want) {
        std::weak_ptr<NetworkReachability> weak = weak_from_this();
        monitor_->setChangeHandler([weak] {
            if (auto self = weak.lock()) self->monitorChanged();
        });
    } else {
        monitor_->setChangeHandler(nullptr);
    }
}

void NetworkReachability::monitorChanged() {
    std::optional<uint32_t> now = monitor_->currentFlags();
    if (!now) return;
    Callback callback;
    std::optional<DispatchQueue> queue;
    {
        std::lock_guard guard(state_->lock);
        if (!state_->listening || state_->lastDelivered == now) return;
        state_->lastDelivered = now;
        callback = state_->callback;
        queue = state_->queue;
    }
    uint32_t flags = *now;
    queue->async([callback, flags] { callback(flags); });
}

} // namespace plat
