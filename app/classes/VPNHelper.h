// The only code that touches the system's personal-VPN configuration: it reports the tunnel's
// status, turns the IPsec credentials the API hands out for the selected region into the IKEv2
// profile "Velmora", saves it and starts the tunnel, stops the tunnel, and removes the profile.
// Operations return at once; their steps run in the completions of the manager (on its queue) and
// of the REST client (on the main queue), and failures end as console lines. One instance per
// process.
#pragma once

#include "platform/object/Error.h"
#include "platform/vpn/NEVPNConnection.h"

#include <functional>
#include <memory>
#include <optional>

class Client;
class JSON;

namespace plat {
class NEVPNManager;
class NEVPNProtocolIKEv2;
} // namespace plat

class VPNHelper : public std::enable_shared_from_this<VPNHelper> {
public:
    using Completion = std::function<void(std::optional<plat::Error>)>;

    // The process's helper over NEVPNManager::shared() and Client::shared(); created on first use
    // (safely from any thread), never destroyed.
    static VPNHelper& shared();
    // A helper over other collaborators (tests).
    static std::shared_ptr<VPNHelper> create(plat::NEVPNManager& manager, Client& client);
    virtual ~VPNHelper() = default;
    VPNHelper(const VPNHelper&) = delete;
    VPNHelper& operator=(const VPNHelper&) = delete;

    // The shared personal-VPN manager, the same object every other user of it sees.
    plat::NEVPNManager& manager() const { return manager_; }

    // The connection's status as the manager reports it now (no load first).
    virtual plat::NEVPNStatus currentStatus();
    // Load, fetch the IPsec configuration of Preferences::configId(), store the credentials, build
    // and save the profile, load again and start the tunnel.
    virtual void connectIPSecIKEv2();
    // Turns on-demand off, saves, and stops the tunnel whatever the save's result.
    virtual void disconnectVPN();
    // Loads, and when the tunnel is up or coming up, disconnects it as disconnectVPN does. For a
    // launch without a signed-in user: a Log out that the process did not live to finish leaves the
    // tunnel up, and no screen of the signed-out application could take it down.
    virtual void disconnectLeftoverTunnel();
    // Loads and removes the profile; `completion` gets none or the error, on the manager's queue.
    virtual void removeVPNProfile(Completion completion);

    // The profile's name in the system settings.
    static constexpr const char* profileDescription = "Velmora";

protected:
    VPNHelper(plat::NEVPNManager& manager, Client& client) : manager_(manager), client_(client) {}

private:
    // The configuration reply, on the main queue.
    void configure(const std::optional<plat::Error>& error, const std::optional<JSON>& reply);
    // Rows 7 to 21 of the profile: algorithms, on-demand rule, switches, description.
    void finishProfile(const std::shared_ptr<plat::NEVPNProtocolIKEv2>& protocol);
    void saveAndStart();

    plat::NEVPNManager& manager_;
    Client& client_;
};
