// The transport's process-wide view of the network: reachability flags read once at start-up and
// then kept current by change callbacks, all on its own serial queue "com.tessera.TTRReachability".
// The upload path reads them to decide whether and how to upload.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/NetworkReachability.h"

#include <cstdint>
#include <memory>
#include <optional>

class TTRReachability {
public:
    // The process-wide instance over the process's default monitor (the kernel's routes unless fixed
    // for the process), created on first use; never destroyed.
    static TTRReachability& sharedInstance();
    // The shared instance's current flags. Must not be called from the reachability queue.
    static uint32_t currentFlags() { return sharedInstance().flags(); }

    // An instance over `monitor` (tests, or a host with its own network facts).
    explicit TTRReachability(std::shared_ptr<plat::NetworkPathMonitor> monitor);
    ~TTRReachability();
    TTRReachability(const TTRReachability&) = delete;
    TTRReachability& operator=(const TTRReachability&) = delete;

    // The flags of the last change callback once one has arrived (even when they are 0: the network
    // went away), else the flags read at start-up. Synchronous on the reachability queue.
    uint32_t flags() const;
    const plat::DispatchQueue& reachabilityQueue() const { return queue_; }

private:
    struct State;
    plat::DispatchQueue queue_;
    std::shared_ptr<plat::NetworkReachability> reachability_;
    std::shared_ptr<State> state_;
};
