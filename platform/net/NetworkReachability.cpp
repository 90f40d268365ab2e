#include "platform/net/NetworkReachability.h"

#include <mutex>

namespace plat {

struct NetworkReachability::State {
    std::mutex lock;
    Callback callback;
    std::optional<DispatchQueue> queue;
    std::optional<uint32_t> lastDelivered;
    std::optional<NetworkPathMonitor::ListenerToken> listening;
    bool deliversFirstFlags = false;
};

std::shared_ptr<NetworkReachability>
NetworkReachability::createWithZeroAddress(std::shared_ptr<NetworkPathMonitor> monitor) {
    if (!monitor) monitor = NetworkPathMonitor::processDefault();
    return std::shared_ptr<NetworkReachability>(new NetworkReachability(std::move(monitor), false));
}

std::shared_ptr<NetworkReachability>
NetworkReachability::createWithName(std::string host, std::shared_ptr<NetworkPathMonitor> monitor) {
    if (host.empty()) return nullptr;
    if (!monitor) monitor = NetworkPathMonitor::processDefault();
    return std::shared_ptr<NetworkReachability>(new NetworkReachability(std::move(monitor), true));
}

NetworkReachability::NetworkReachability(std::shared_ptr<NetworkPathMonitor> monitor, bool deliversFirstFlags)
    : monitor_(std::move(monitor)), state_(std::make_shared<State>()) {
    state_->deliversFirstFlags = deliversFirstFlags;
}

NetworkReachability::~NetworkReachability() {
    std::optional<NetworkPathMonitor::ListenerToken> listening;
    {
        std::lock_guard guard(state_->lock);
        listening = state_->listening;
    }
    if (listening) monitor_->removeChangeHandler(*listening);
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
    std::optional<NetworkPathMonitor::ListenerToken> stop;
    bool start = false;
    {
        std::lock_guard guard(state_->lock);
        bool want = state_->callback && state_->queue;
        if (want == state_->listening.has_value()) return;
        if (want) {
            start = true;
            // Changes are measured from the state at the moment listening starts; a name has no
            // known state until it is resolved, so its first flags count as a change.
            state_->lastDelivered = state_->deliversFirstFlags ? std::nullopt : monitor_->currentFlags();
            state_->listening = 0; // placeholder until the monitor hands out the token
        } else {
            stop = state_->listening;
            state_->listening.reset();
        }
    }
    if (stop) {
        monitor_->removeChangeHandler(*stop);
        return;
    }
    if (!start) return;
    std::weak_ptr<NetworkReachability> weak = weak_from_this();
    NetworkPathMonitor::ListenerToken token = monitor_->addChangeHandler([weak] {
        if (auto self = weak.lock()) self->monitorChanged();
    });
    bool stale = false;
    {
        std::lock_guard guard(state_->lock);
        if (state_->listening)
            state_->listening = token;
        else
            stale = true; // stopped again meanwhile
    }
    if (stale) {
        monitor_->removeChangeHandler(token);
        return;
    }
    if (state_->deliversFirstFlags) monitorChanged();
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
