#include "platform/net/NetworkPathMonitor.h"

#include <mutex>

namespace plat {

struct ManualNetworkPathMonitor::State {
    std::mutex lock;
    std::optional<uint32_t> flags;
    std::function<void()> changed;
};

ManualNetworkPathMonitor::ManualNetworkPathMonitor(std::optional<uint32_t> flags)
    : state_(std::make_shared<State>()) {
    state_->flags = flags;
}

std::optional<uint32_t> ManualNetworkPathMonitor::currentFlags() {
    std::lock_guard guard(state_->lock);
    return state_->flags;
}

void ManualNetworkPathMonitor::setChangeHandler(std::function<void()> changed) {
    std::lock_guard guard(state_->lock);
    state_->changed = std::move(changed);
}

void ManualNetworkPathMonitor::setFlags(std::optional<uint32_t> flags) {
    std::function<void()> changed;
    {
        std::lock_guard guard(state_->lock);
        state_->flags = flags;
        changed = state_->changed;
    }
    if (changed) changed();
}

} // namespace plat
