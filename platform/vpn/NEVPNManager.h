// The personal-VPN manager: one profile (description, enabled flag, connect-on-demand switch and
// rules, tunnel protocol) that is loaded from, saved to and removed from the system's VPN
// preferences, and the connection that runs it. Completions get an optional error and run on the
// simulator's own serial queue, never on the caller's thread.
//
// Saving validates like the platform: no protocol or an empty server address fails with
// configurationInvalid, and a save over a profile that this manager has not loaded (or that changed
// since it did, for example by another process) fails with configurationStale. The profile is
// persisted under plat::paths::vpnDir(). Properties may be read and written on any thread.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/object/Error.h"
#include "platform/vpn/NEOnDemandRule.h"
#include "platform/vpn/NEVPNConnection.h"
#include "platform/vpn/NEVPNProtocol.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace plat {

class NEVPNManager {
public:
    using Completion = std::function<void(std::optional<Error>)>;

    // The process's manager, timed by the system scheduler; created on first use, never destroyed.
    static NEVPNManager& shared();
    // A separate manager over the same stored profile; its status notifications go to `center`
    // (tests: a second process, with a centre of its own).
    explicit NEVPNManager(Scheduler& scheduler = Scheduler::system(),
                          NotificationCenter& center = NotificationCenter::defaultCenter());
    ~NEVPNManager();
    NEVPNManager(const NEVPNManager&) = delete;
    NEVPNManager& operator=(const NEVPNManager&) = delete;

    // Replaces the properties with the saved profile (or the defaults when none is saved).
    void loadFromPreferences(Completion completion);
    // Saves the properties as they are at the time of the call.
    void saveToPreferences(Completion completion);
    // Deletes the saved profile (nothing to delete is no error) and takes the tunnel down.
    void removeFromPreferences(Completion completion);

    // The same connection for the manager's whole life.
    const std::shared_ptr<NEVPNConnection>& connection() const { return connection_; }

    // The profile's name in the system settings.
    std::optional<std::string> localizedDescription() const;
    void setLocalizedDescription(std::optional<std::string> description);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    bool isOnDemandEnabled() const;
    void setOnDemandEnabled(bool enabled);
    std::vector<std::shared_ptr<NEOnDemandRule>> onDemandRules() const;
    void setOnDemandRules(std::vector<std::shared_ptr<NEOnDemandRule>> rules);
    std::shared_ptr<NEVPNProtocol> protocolConfiguration() const;
    void setProtocolConfiguration(std::shared_ptr<NEVPNProtocol> protocol);

    // Waits, up to `limit`, until the operations asked of this manager so far have completed and
    // the tunnel is no longer going down: a stop it accepted, or one that a completion asked for
    // (the save before a stop), has taken it down. For the end of the process, since the tunnel's
    // service runs inside it here; a stop still pending when it gives up stays recorded on disk and
    // the next load completes it. True when nothing was left pending. Any thread except the
    // simulator's queue.
    bool finishPendingStop(Duration limit);

    // The queue completions and status notifications come from (tests flush it with sync).
    const DispatchQueue& queue() const { return queue_; }

    // ---- Test hooks ----
    enum class Operation { load, save, remove, start };
    // Makes the operation fail with `error` until cleared with none (start throws it).
    void setFaultForTesting(Operation operation, std::optional<Error> error);
    // Waits for queued work, then forgets everything held in memory (properties, what was loaded,
    // faults, the tunnel's status) and times the tunnel with `scheduler` from now on.
    void resetForTesting(Scheduler& scheduler);

private:
    // Runs `work` (an operation with its completion) on the queue, counted as a pending request of
    // the connection until it has run, so that finishPendingStop also waits for the stop that a
    // completion asks for.
    void enqueue(std::function<void()> work);
    std::optional<Error> fault(Operation operation) const;
    Object::Dict snapshot() const;
    void apply(const Object::Dict& profile);

    DispatchQueue queue_;
    std::shared_ptr<NEVPNConnection> connection_;
    mutable std::mutex mutex_;
    std::optional<std::string> localizedDescription_;
    bool enabled_ = false;
    bool onDemandEnabled_ = false;
    std::vector<std::shared_ptr<NEOnDemandRule>> onDemandRules_;
    std::shared_ptr<NEVPNProtocol> protocol_;
    // The generation of the saved profile this manager last loaded or saved; 0 when it found none;
    // none when it never loaded.
    std::optional<int64_t> knownGeneration_;
    std::map<Operation, Error> faults_;
};

} // namespace plat
