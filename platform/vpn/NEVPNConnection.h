// The tunnel of a personal-VPN profile as the system runs it: a status, start and stop. Status
// changes happen on the simulator's serial queue, each followed by the notification
// NEVPNStatusDidChangeNotification on the manager's notification centre (the process's default
// one), posted from that queue with an opaque object holding this connection. The timing comes from a
// Scheduler so tests drive it with a manual clock.
//
// A start brings the tunnel to connecting and, after connectTime, to connected when the saved
// profile's password reference resolves to a keychain item; otherwise it fails through
// disconnecting to disconnected. A stop goes through disconnecting to disconnected after
// disconnectTime. Reading the status is safe on any thread.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/object/Error.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace plat {

enum class NEVPNStatus : int64_t {
    invalid = 0, // no profile
    disconnected = 1,
    connecting = 2,
    connected = 3,
    reasserting = 4, // reconnecting after the network changed
    disconnecting = 5,
};

inline constexpr const char* NEVPNStatusDidChangeNotification = "NEVPNStatusDidChangeNotification";

class NEVPNConnection : public std::enable_shared_from_this<NEVPNConnection> {
public:
    static constexpr Duration connectTime = std::chrono::milliseconds(400);
    static constexpr Duration disconnectTime = std::chrono::milliseconds(150);

    // Made by NEVPNManager, which owns the queue and the scheduler.
    NEVPNConnection(DispatchQueue queue, Scheduler& scheduler, NotificationCenter& center);
    ~NEVPNConnection();
    NEVPNConnection(const NEVPNConnection&) = delete;
    NEVPNConnection& operator=(const NEVPNConnection&) = delete;

    NEVPNStatus status() const { return status_.load(); }
    // Why the last start failed; none after a successful connect.
    std::optional<Error> lastDisconnectError() const;

    // Throws plat::Error (NEVPNErrorDomain): configurationInvalid when no profile is saved,
    // configurationDisabled when the saved profile is not enabled, or the armed start fault. A start
    // while the tunnel is up or coming up does nothing.
    void startVPNTunnel();
    // Takes the tunnel down; nothing when it is down or already going down.
    void stopVPNTunnel();

    // Test hook: sets any raw status value (even one the platform never reports) and posts the
    // notification, from the simulator's queue.
    void setStatusForTesting(NEVPNStatus status);

private:
    friend class NEVPNManager;

    // Called by the manager on the simulator's queue after it changed the saved profile.
    void profileLoaded(bool exists, bool tunnelUp);
    void profileSaved(bool enabled);
    void profileRemoved();
    void setStartFault(std::optional<Error> fault);
    // Cancels pending transitions, forgets the tunnel and switches the scheduler.
    void resetForTesting(Scheduler& scheduler);

    bool active() const;
    // On the queue: stores the status and posts the notification when it changed (or `always`).
    void transition(NEVPNStatus status, bool always = false);
    // Runs `step` on the queue after `delay`, unless another transition started in between.
    void after(Duration delay, void (NEVPNConnection::*step)());
    void finishConnecting();
    void beginDisconnecting(NEVPNStatus finalStatus);
    void finishDisconnecting();
    bool credentialsResolve() const;

    DispatchQueue queue_;
    NotificationCenter& center_;
    mutable std::mutex mutex_;
    Scheduler* scheduler_;
    std::optional<Scheduler::Token> pendingTimer_;
    uint64_t epoch_ = 0;
    std::optional<Error> startFault_;
    std::optional<Error> lastDisconnectError_;
    NEVPNStatus finalStatus_ = NEVPNStatus::disconnected;
    std::atomic<NEVPNStatus> status_{NEVPNStatus::invalid};
};

} // namespace plat
