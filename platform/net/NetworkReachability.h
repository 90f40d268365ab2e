// A network-reachability handle for "any route to the network" (the all-zero IPv4 address) or for
// one host name: its current flags on demand, and a callback with the new flags on a dispatch queue
// whenever they change. The facts come from a NetworkPathMonitor, the process's default (the
// kernel's unless fixed for the process, NetworkPathMonitor::processDefault): a host
// counts as reachable exactly when the network is, which is what can be known before connecting.
// Thread-safe.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/NetworkPathMonitor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {

class NetworkReachability : public std::enable_shared_from_this<NetworkReachability> {
public:
    using Callback = std::function<void(uint32_t flags)>;

    // A handle for the zero address over `monitor` (the process's default when null).
    static std::shared_ptr<NetworkReachability>
    createWithZeroAddress(std::shared_ptr<NetworkPathMonitor> monitor = nullptr);
    // A handle for `host`. As a name has to be resolved before anything is known of it, the first
    // flags are delivered (once a callback and a queue are set) as a change, and real changes after.
    static std::shared_ptr<NetworkReachability>
    createWithName(std::string host, std::shared_ptr<NetworkPathMonitor> monitor = nullptr);
    ~NetworkReachability();

    // Reads the flags now; false when they cannot be determined.
    bool getFlags(uint32_t& flags) const;
    // The block that hears changes (empty: none). True when installed.
    bool setCallback(Callback callback);
    // The queue the callback runs on (none: stop delivering). True when set. Changes are delivered
    // only while both a callback and a queue are set, and only when the flags really changed.
    bool setDispatchQueue(std::optional<DispatchQueue> queue);

private:
    NetworkReachability(std::shared_ptr<NetworkPathMonitor> monitor, bool deliversFirstFlags);
    void monitorChanged();
    void updateListening();

    struct State;
    std::shared_ptr<NetworkPathMonitor> monitor_;
    std::shared_ptr<State> state_;
};

} // namespace plat
