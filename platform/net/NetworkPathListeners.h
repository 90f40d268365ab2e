// The listener list of a path monitor, for the monitors' own use.
#pragma once

#include "platform/net/NetworkPathMonitor.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace plat {

// The listeners of one monitor, for the monitors' own use. Thread-safe; listeners are called
// outside the lock, so one may add or remove listeners.
class NetworkPathListeners {
public:
    NetworkPathMonitor::ListenerToken add(std::function<void()> changed);
    // True when the last listener went away.
    bool remove(NetworkPathMonitor::ListenerToken token);
    bool empty() const;
    // Calls every listener present when the call began, in the order they were added.
    void notify() const;

private:
    mutable std::mutex lock_;
    NetworkPathMonitor::ListenerToken next_ = 1;
    std::vector<std::pair<NetworkPathMonitor::ListenerToken, std::shared_ptr<const std::function<void()>>>>
        listeners_;
};

} // namespace plat
