// The tunnel of a personal-VPN profile as the system runs it: a status, start and stop. Status
// changes happen on the simulator's serial queue, each followed by the notification
// NEVPNStatusDidChangeNotification on the manager's notification centre (the process's default
// one), posted from that queue with an opaque object holding this connection. The timing comes from a
// Scheduler so tests drive it with a manual clock.
//
// A start brings the tunnel to connecting and, after connectTime, to connected when the saved
// profile's password reference resolves to a keychain item; otherwise it fails through
// disconnecting to disconnected. A stop goes through disconnecting to disconnected after
// disconnectTime. On the platform a system service runs the tunnel and carries out a stop it has
// accepted whatever becomes of the application; this simulator runs in the application's process,
// so it records an accepted stop of a tunnel that is up on disk before it reports "disconnecting",
// a later load (in this process or the next) completes a stop left recorded, and the process waits
// for a pending stop before it ends (NEVPNManager::finishPendingStop). Reading the status is safe
// on any thread.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/object/Error.h"
#include "platform/vpn/NEVPNProfileFile.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
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

    // Called by the manager on the simulator's queue after it changed the saved profile. A load
    // completes a stop left recorded on disk unless this connection is carrying it out.
    void profileLoaded(bool exists, NEVPNProfileFile::TunnelState tunnel);
    void profileSaved(bool enabled);
    void profileRemoved();
    void setStartFault(std::optional<Error> fault);
    // Cancels pending transitions, forgets the tunnel and switches the scheduler.
    void resetForTesting(Scheduler& scheduler);

    // A request that will run on the queue (a stop, or one of the manager's operations, whose
    // completion may ask for a stop) is counted from the moment it is asked for until it has run.
    void requestQueued();
    void requestDone();
    // Waits until no request is queued and the tunnel is not going down, or until `deadline`;
    // answers whether it got there.
    bool waitUntilSettled(std::chrono::steady_clock::time_point deadline);

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
    std::condition_variable settled_; // with mutex_: a request ran or the status changed
    int pendingRequests_ = 0;
    uint64_t epoch_ = 0;
    std::optional<Error> startFault_;
    std::optional<Error> lastDisconnectError_;
    NEVPNStatus finalStatus_ = NEVPNStatus::disconnected;
    std::atomic<NEVPNStatus> status_{NEVPNStatus::invalid};
};

} // namespace plat
