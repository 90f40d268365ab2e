#include "transport/TTRReachability.h"

#include "transport/TTRConsoleLogger.h"

struct TTRReachability::State {
    // Touched only on the reachability queue.
    uint32_t flags = 0;
    std::optional<uint32_t> callbackFlags;
};

TTRReachability& TTRReachability::sharedInstance() {
    static auto* instance = new TTRReachability(plat::NetworkPathMonitor::processDefault());
    return *instance;
}

TTRReachability::TTRReachability(std::shared_ptr<plat::NetworkPathMonitor> monitor)
    : queue_(plat::DispatchQueue::serial("com.tessera.TTRReachability")),
      reachability_(plat::NetworkReachability::createWithZeroAddress(std::move(monitor))),
      state_(std::make_shared<State>()) {
    if (!reachability_->setDispatchQueue(queue_))
        TTRLog(kTTRMCReachabilityWarning, TTRLoggingLevelWarnings, "The reachability queue wasn't set.");
    std::weak_ptr<State> weakState = state_;
    bool callbackSet = reachability_->setCallback([weakState](uint32_t newFlags) {
        // Runs on the reachability queue.
        TTRLogDebug("Reachability changed, new flags: %d", static_cast<int64_t>(newFlags));
        if (auto state = weakState.lock()) state->callbackFlags = newFlags;
    });
    if (!callbackSet)
        TTRLog(kTTRMCReachabilityWarning, TTRLoggingLevelWarnings, "The reachability callback wasn't set.");
    std::shared_ptr<plat::NetworkReachability> reachability = reachability_;
    std::shared_ptr<State> state = state_;
    queue_.async([reachability, state] {
        uint32_t initial = 0;
        if (!reachability->getFlags(initial)) {
            TTRLogDebug("Determining reachability failed.");
            initial = 0;
        }
        state->flags = initial;
    });
}

TTRReachability::~TTRReachability() {
    reachability_->setCallback(nullptr);
    reachability_->setDispatchQueue(std::nullopt);
}

uint32_t TTRReachability::flags() const {
    uint32_t answer = 0;
    queue_.sync([&] { answer = state_->callbackFlags ? *state_->callbackFlags : state_->flags; });
    TTRLogDebug("Initial reachability flags determined: %d", static_cast<int64_t>(answer));
    return answer;
}
