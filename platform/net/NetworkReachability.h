// A network-reachability handle for "any route to the network" (the all-zero IPv4 address): its
// current flags on demand, and a callback with the new flags on a dispatch queue whenever they
// change. The facts come from a NetworkPathMonitor, the kernel's by default. Thread-safe.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/NetworkPathMonitor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace plat {

class NetworkReachability : public std::enable_shared_from_this<NetworkReachability> {
public:
    using Callback = std::function<void(uint32_t flags)>;

    // A handle for the zero address over `monitor` (the kernel's when null).
    static std::shared_ptr<NetworkReachability>
    createWithZeroAddress(std::shared_ptr<NetworkPathMonitor> monitor = nullptr);
    ~NetworkReachability();

    // Reads the flags now; false when they cannot be determined.
    bool getFlags(uint32_t& flags) const;
    // The block that hears changes (empty: none). True when installed.
    bool setCallback(Callback callback);
    // The queue the callback runs on (none: stop delivering). True when set. Changes are delivered
    // only while both a callback and a queue are set, and only when the flags really changed.
    bool setDispatchQueue(std::optional<DispatchQueue> queue);

private:
    explicit NetworkReachability(std::shared_ptr<NetworkPathMonitor> monitor);
    void monitorChanged();
    void updateListening();

    struct State;
    std::shared_ptr<NetworkPathMonitor> monitor_;
    std::shared_ptr<State> state_;
};

} // namespace plat
