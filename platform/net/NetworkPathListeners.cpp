#include "platform/net/NetworkPathListeners.h"

#include <algorithm>

namespace plat {

NetworkPathMonitor::ListenerToken NetworkPathListeners::add(std::function<void()> changed) {
    std::lock_guard guard(lock_);
    NetworkPathMonitor::ListenerToken token = next_++;
    listeners_.emplace_back(token, std::make_shared<const std::function<void()>>(std::move(changed)));
    return token;
}

bool NetworkPathListeners::remove(NetworkPathMonitor::ListenerToken token) {
    std::lock_guard guard(lock_);
    auto found = std::find_if(listeners_.begin(), listeners_.end(),
                              [token](const auto& entry) { return entry.first == token; });
    if (found == listeners_.end()) return false;
    listeners_.erase(found);
    return listeners_.empty();
}

bool NetworkPathListeners::empty() const {
    std::lock_guard guard(lock_);
    return listeners_.empty();
}

void NetworkPathListeners::notify() const {
    std::vector<std::shared_ptr<const std::function<void()>>> snapshot;
    {
        std::lock_guard guard(lock_);
        for (const auto& entry : listeners_)
            snapshot.push_back(entry.second);
    }
    for (const auto& listener : snapshot)
        if (*listener) (*listener)();
}

} // namespace plat
