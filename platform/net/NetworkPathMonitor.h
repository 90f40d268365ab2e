// Where reachability facts come from: the kernel's routes and links (KernelNetworkPathMonitor) or,
// in tests, flags set by hand (ManualNetworkPathMonitor). A monitor answers the reachability flags of
// "any route to the network" and tells each of its listeners when they may have changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// The reachability flag bits used here (the platform's values).
inline constexpr uint32_t kReachabilityFlagsTransientConnection = 1u << 0;
inline constexpr uint32_t kReachabilityFlagsReachable = 1u << 1;
inline constexpr uint32_t kReachabilityFlagsConnectionRequired = 1u << 2;

// The variable that fixes the process's network reachability (see NetworkPathMonitor::processDefault).
inline constexpr const char* kNetworkReachabilityVariable = "VELMORA_NETWORK_REACHABILITY";

class NetworkPathMonitor {
public:
    // The monitor of every reachability handle made without one: the kernel's, unless
    // $VELMORA_NETWORK_REACHABILITY is "reachable" or "unreachable", which fixes the flags for the
    // life of the process. Test harnesses set it, so that the programs they start (whose servers
    // are all on 127.0.0.1) behave the same with or without a route to the network. Never destroyed.
    static std::shared_ptr<NetworkPathMonitor> processDefault();

    virtual ~NetworkPathMonitor() = default;
    // The flags now; none when they cannot be determined.
    virtual std::optional<uint32_t> currentFlags() = 0;
    // Adds a listener: `changed` runs (on the monitor's own thread, or the thread that changed a
    // manual monitor) whenever the flags may have changed. Every reachability handle of the process
    // listens to the one kernel monitor, so listeners never replace each other. Returns the token
    // that removes it again.
    using ListenerToken = uint64_t;
    virtual ListenerToken addChangeHandler(std::function<void()> changed) = 0;
    // Removes a listener. A notification already under way may still reach it once, so listeners
    // hold what they touch weakly. Unknown tokens are ignored.
    virtual void removeChangeHandler(ListenerToken token) = 0;
};

// The kernel's view: reachable when a default route (IPv4 or IPv6, not a reject route) leads over an
// interface that is up and running. Changes are heard on a route netlink socket; without one the
// flags are still read on demand, only the notifications are missing.
class KernelNetworkPathMonitor final : public NetworkPathMonitor {
public:
    // The process-wide monitor; never destroyed.
    static std::shared_ptr<KernelNetworkPathMonitor> shared();
    ~KernelNetworkPathMonitor() override;

    std::optional<uint32_t> currentFlags() override;
    ListenerToken addChangeHandler(std::function<void()> changed) override;
    void removeChangeHandler(ListenerToken token) override;

    // The flags that route tables in the kernel's text forms (/proc/net/route, /proc/net/ipv6_route)
    // give, with `linkFlags` answering an interface's IFF_* flags (none when unknown). Hostile or
    // damaged text yields no route, never a failure.
    static uint32_t
    flagsFromRouteTables(std::string_view ipv4Routes, std::string_view ipv6Routes,
                         const std::function<std::optional<unsigned>(const std::string&)>& linkFlags);

    struct Watcher;

private:
    KernelNetworkPathMonitor();
    std::unique_ptr<Watcher> watcher_;
};

// Flags set by hand; setting them calls the listeners on the setting thread. Thread-safe.
class ManualNetworkPathMonitor final : public NetworkPathMonitor {
public:
    explicit ManualNetworkPathMonitor(std::optional<uint32_t> flags = kReachabilityFlagsReachable);
    std::optional<uint32_t> currentFlags() override;
    ListenerToken addChangeHandler(std::function<void()> changed) override;
    void removeChangeHandler(ListenerToken token) override;
    // New flags (none: they cannot be determined), then the listeners.
    void setFlags(std::optional<uint32_t> flags);

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace plat
