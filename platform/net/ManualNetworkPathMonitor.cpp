#include "platform/net/NetworkPathListeners.h"

#include <mutex>

namespace plat {

struct ManualNetworkPathMonitor::State {
    std::mutex lock;
    std::optional<uint32_t> flags;
    NetworkPathListeners listeners;
};

ManualNetworkPathMonitor::ManualNetworkPathMonitor(std::optional<uint32_t> flags)
    : state_(std::make_shared<State>()) {
    state_->flags = flags;
}

std::optional<uint32_t> ManualNetworkPathMonitor::currentFlags() {
    std::lock_guard guard(state_->lock);
    return state_->flags;
}

NetworkPathMonitor::ListenerToken ManualNetworkPathMonitor::addChangeHandler(std::function<void()> changed) {
    return state_->listeners.add(std::move(changed));
}

void ManualNetworkPathMonitor::removeChangeHandler(ListenerToken token) {
    state_->listeners.remove(token);
}

void ManualNetworkPathMonitor::setFlags(std::optional<uint32_t> flags) {
    {
        std::lock_guard guard(state_->lock);
        state_->flags = flags;
    }
    state_->listeners.notify();
}

} // namespace plat
