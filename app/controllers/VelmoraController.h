// The controller of a logged-in session: the observable state of the main window and its sheets.
// It loads and ranks the regions and makes the default choice, stores the chosen region, toggles
// the tunnel, follows the system's VPN status (published status, dock icon, console line), builds
// the plan text of the top bar and ends the session on "logout".
//
// Threads: everything runs on the main thread and published values change only there, except
// vpnStatusDidChange, which runs on the thread that delivers the status notification and hands the
// status and the icon to the main queue.
#pragma once

#include "app/network/VPNRegion.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"
#include "platform/vpn/NEVPNConnection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Client;
class JSON;
class VPNHelper;

class VelmoraController : public plat::ObservableObject,
                          public std::enable_shared_from_this<VelmoraController> {
    struct Passkey {};

public:
    // Creates the controller: initial values, the line "initializing VelmoraController", the
    // observers of the status notification and of "logout" (held weakly: a destroyed controller
    // hears nothing), then the tunnel's current status (published, with its dock icon), then a load
    // of the VPN configuration (which only reports a failure).
    static std::shared_ptr<VelmoraController> create();
    // The same over other collaborators (tests).
    static std::shared_ptr<VelmoraController> create(Client& client, VPNHelper& helper);
    VelmoraController(Passkey, Client& client, VPNHelper& helper);

    plat::Published<bool> showSettings{this, false};
    plat::Published<bool> showPricing{this, false};
    plat::Published<bool> showManageDevices{this, false};
    plat::Published<std::string> subscription{this, ""};
    plat::Published<plat::NEVPNStatus> connectionStatus;
    plat::Published<std::vector<VPNRegion>> regions{this, {}};
    // The selected region's id; present from the start (the stored "configId", even 0).
    plat::Published<std::optional<int64_t>> currentRegion;

    // Stores the region as the chosen one ("server", "configId") and toggles the tunnel like the
    // power button; "CountryConnected" follows.
    void didSelectRegion(const VPNRegion& region);
    // A copy of the first region with that id, if any.
    std::optional<VPNRegion> regionById(int64_t regionId) const;
    // didSelectRegion for the region with that id; nothing when there is none.
    void didSelectRegion(int64_t regionId);
    // Fetches, decodes and ranks the regions (the result arrives later on the main queue), then
    // on a later turn selects the first one unless a region is already chosen. Never connects.
    void loadRegions();
    // Handler of the status notification: the console line on the calling thread; the published
    // status and the dock icon on the main queue. An object that is not a connection is ignored.
    void vpnStatusDidChange(const plat::Notification& notification);
    // The power button: connect when the published status is invalid or disconnected, disconnect
    // when it is connecting, connected or reasserting, nothing otherwise.
    void doConnect();
    // Removes "email", "token" and "password", disconnects, shows the default icon and posts
    // "showLoginView".
    void logout();
    // Fetches the current plan; the text arrives later in `subscription`.
    void showCurrentSubscription();

    // The top bar's text for a plan reply.
    static std::string subscriptionText(const JSON& plan);
    // The console word and the dock image of a status.
    static std::string statusName(plat::NEVPNStatus status);
    static std::string iconName(plat::NEVPNStatus status);

private:
    void observeNotifications();
    // Publishes the status and shows its dock icon (main thread).
    void showStatus(plat::NEVPNStatus status);
    void regionsArrived(const std::optional<plat::Error>& error, const std::optional<JSON>& reply);
    void selectDefaultRegion();

    Client& client_;
    VPNHelper& helper_;
    plat::NotificationCenter::Token statusObserver_;
    plat::NotificationCenter::Token logoutObserver_;
};
