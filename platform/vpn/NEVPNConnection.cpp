#include "platform/vpn/NEVPNConnection.h"

#include "platform/security/SecItem.h"
#include "platform/vpn/NEVPNError.h"
#include "platform/vpn/NEVPNProfileFile.h"
#include "platform/vpn/NEVPNProtocol.h"
#include "platform/vpn/ProfileFields.h"

namespace plat {

using namespace profile_fields;

NEVPNConnection::NEVPNConnection(DispatchQueue queue, Scheduler& scheduler, NotificationCenter& center)
    : queue_(std::move(queue)), center_(center), scheduler_(&scheduler) {}

NEVPNConnection::~NEVPNConnection() {
    std::lock_guard lock(mutex_);
    if (pendingTimer_) scheduler_->cancel(*pendingTimer_);
}

std::optional<Error> NEVPNConnection::lastDisconnectError() const {
    std::lock_guard lock(mutex_);
    return lastDisconnectError_;
}

void NEVPNConnection::startVPNTunnel() {
    {
        std::lock_guard lock(mutex_);
        if (startFault_) throw *startFault_;
    }
    Object::Dict profile;
    if (NEVPNProfileFile::read(&profile) != NEVPNProfileFile::ReadResult::ok)
        throw makeNEVPNError(NEVPNError::configurationInvalid);
    if (!readBool(Object(profile), kEnabled, false)) throw makeNEVPNError(NEVPNError::configurationDisabled);

    queue_.async([self = shared_from_this()] {
        if (self->active()) return;
        {
            std::lock_guard lock(self->mutex_);
            self->lastDisconnectError_.reset();
        }
        self->transition(NEVPNStatus::connecting);
        self->after(connectTime, &NEVPNConnection::finishConnecting);
    });
}

void NEVPNConnection::stopVPNTunnel() {
    requestQueued();
    queue_.async([self = shared_from_this()] {
        if (self->active()) self->beginDisconnecting(NEVPNStatus::disconnected);
        self->requestDone();
    });
}

void NEVPNConnection::requestQueued() {
    std::lock_guard lock(mutex_);
    ++pendingRequests_;
}

void NEVPNConnection::requestDone() {
    {
        std::lock_guard lock(mutex_);
        --pendingRequests_;
    }
    settled_.notify_all();
}

bool NEVPNConnection::waitUntilSettled(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return settled_.wait_until(
        lock, deadline, [this] { return pendingRequests_ == 0 && status() != NEVPNStatus::disconnecting; });
}

void NEVPNConnection::setStatusForTesting(NEVPNStatus status) {
    queue_.async([self = shared_from_this(), status] {
        self->after(Duration::zero(), nullptr); // cancels whatever was pending
        self->transition(status, true);
    });
}

bool NEVPNConnection::active() const {
    NEVPNStatus s = status();
    return s == NEVPNStatus::connecting || s == NEVPNStatus::connected || s == NEVPNStatus::reasserting;
}

void NEVPNConnection::transition(NEVPNStatus status, bool always) {
    NEVPNStatus old;
    {
        // Changed under the lock a waiter checks it under, so its wake-up is not lost.
        std::lock_guard lock(mutex_);
        old = status_.exchange(status);
    }
    settled_.notify_all();
    if (old == status && !always) return;
    center_.post(NEVPNStatusDidChangeNotification,
                 Object(Opaque::make<NEVPNConnection>(shared_from_this(), "NEVPNConnection")));
}

void NEVPNConnection::after(Duration delay, void (NEVPNConnection::*step)()) {
    std::lock_guard lock(mutex_);
    ++epoch_;
    if (pendingTimer_) scheduler_->cancel(*pendingTimer_);
    pendingTimer_.reset();
    if (!step) return;
    std::weak_ptr<NEVPNConnection> weak = weak_from_this();
    uint64_t epoch = epoch_;
    DispatchQueue queue = queue_;
    pendingTimer_ = scheduler_->schedule(scheduler_->clock().now() + delay, [weak, epoch, step, queue] {
        queue.async([weak, epoch, step] {
            std::shared_ptr<NEVPNConnection> self = weak.lock();
            if (!self) return;
            {
                std::lock_guard lock(self->mutex_);
                if (self->epoch_ != epoch) return; // superseded by a later start, stop or reset
                self->pendingTimer_.reset();
            }
            (self.get()->*step)();
        });
    });
}

void NEVPNConnection::finishConnecting() {
    if (credentialsResolve()) {
        NEVPNProfileFile::setTunnelUp(true);
        transition(NEVPNStatus::connected);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        lastDisconnectError_ = makeNEVPNError(NEVPNError::connectionFailed);
    }
    beginDisconnecting(NEVPNStatus::disconnected);
}

void NEVPNConnection::beginDisconnecting(NEVPNStatus finalStatus) {
    // A tunnel that is up has the stop recorded before anyone hears of it: should the process end
    // before the stop is done, the next load carries it out. One still coming up was never
    // recorded as up and stays recorded down. A record that cannot be written is logged there, and
    // the stop goes ahead all the same.
    NEVPNStatus s = status();
    if (s == NEVPNStatus::connected || s == NEVPNStatus::reasserting)
        NEVPNProfileFile::setTunnelState(NEVPNProfileFile::TunnelState::stopping);
    {
        std::lock_guard lock(mutex_);
        finalStatus_ = finalStatus;
    }
    transition(NEVPNStatus::disconnecting);
    after(disconnectTime, &NEVPNConnection::finishDisconnecting);
}

void NEVPNConnection::finishDisconnecting() {
    NEVPNStatus final;
    {
        std::lock_guard lock(mutex_);
        final = finalStatus_;
    }
    NEVPNProfileFile::setTunnelUp(false);
    transition(final);
}

// The tunnel authenticates with the saved profile: it needs a server and a password reference that
// still names an item of the keychain store.
bool NEVPNConnection::credentialsResolve() const {
    Object::Dict profile;
    if (NEVPNProfileFile::read(&profile) != NEVPNProfileFile::ReadResult::ok) return false;
    std::shared_ptr<NEVPNProtocol> protocol = NEVPNProtocol::fromDict(Object(profile)[kProtocol]);
    if (!protocol || protocol->serverAddress().value_or("").empty()) return false;
    const std::optional<Data>& reference = protocol->passwordReference();
    if (!reference) return false;
    Object result;
    OSStatus status = SecItemCopyMatching({{kSecClass, Object(kSecClassGenericPassword)},
                                           {kSecValuePersistentRef, Object(*reference)},
                                           {kSecReturnData, Object(true)}},
                                          &result);
    return status == errSecSuccess && result.isData();
}

void NEVPNConnection::profileLoaded(bool exists, NEVPNProfileFile::TunnelState tunnel) {
    NEVPNStatus s = status();
    if (s == NEVPNStatus::connecting || s == NEVPNStatus::disconnecting || s == NEVPNStatus::reasserting)
        return;
    if (tunnel == NEVPNProfileFile::TunnelState::stopping) {
        // A stop was accepted and the process carrying it out ended first (this connection is not
        // going down): the system's service would have finished it long since.
        NEVPNProfileFile::setTunnelState(NEVPNProfileFile::TunnelState::down);
        tunnel = NEVPNProfileFile::TunnelState::down;
    }
    if (!exists)
        transition(NEVPNStatus::invalid);
    else
        transition(tunnel == NEVPNProfileFile::TunnelState::up ? NEVPNStatus::connected
                                                               : NEVPNStatus::disconnected);
}

void NEVPNConnection::profileSaved(bool enabled) {
    if (!enabled && active())
        beginDisconnecting(NEVPNStatus::disconnected);
    else if (status() == NEVPNStatus::invalid)
        transition(NEVPNStatus::disconnected);
}

void NEVPNConnection::profileRemoved() {
    if (active()) {
        beginDisconnecting(NEVPNStatus::invalid);
    } else if (status() == NEVPNStatus::disconnecting) {
        std::lock_guard lock(mutex_);
        finalStatus_ = NEVPNStatus::invalid;
    } else {
        transition(NEVPNStatus::invalid);
    }
}

void NEVPNConnection::setStartFault(std::optional<Error> fault) {
    std::lock_guard lock(mutex_);
    startFault_ = std::move(fault);
}

void NEVPNConnection::resetForTesting(Scheduler& scheduler) {
    std::lock_guard lock(mutex_);
    ++epoch_;
    if (pendingTimer_) scheduler_->cancel(*pendingTimer_);
    pendingTimer_.reset();
    scheduler_ = &scheduler;
    startFault_.reset();
    lastDisconnectError_.reset();
    finalStatus_ = NEVPNStatus::disconnected;
    status_ = NEVPNStatus::invalid;
    settled_.notify_all();
}

} // namespace plat
