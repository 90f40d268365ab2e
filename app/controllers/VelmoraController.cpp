#include "app/controllers/VelmoraController.h"

#include "app/classes/Preferences.h"
#include "app/classes/VPNHelper.h"
#include "app/controllers/RegionRanking.h"
#include "app/network/Client.h"
#include "platform/appkit/Application.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/Localization.h"
#include "platform/log/OSLog.h"
#include "platform/vpn/NEVPNManager.h"
#include "json/JSON.h"
#include "json/JSONError.h"

using plat::consoleLine;
using plat::NEVPNStatus;

std::shared_ptr<VelmoraController> VelmoraController::create() {
    return create(Client::shared(), VPNHelper::shared());
}

std::shared_ptr<VelmoraController> VelmoraController::create(Client& client, VPNHelper& helper) {
    auto controller = std::make_shared<VelmoraController>(Passkey{}, client, helper);
    // Registered once the controller is owned, so the observers can hold it weakly. The status is
    // read only after that, and the load that may change it starts last: every change after the
    // value shown is heard, whichever thread makes it and however soon.
    controller->observeNotifications();
    controller->showStatus(helper.currentStatus());
    helper.manager().loadFromPreferences([](std::optional<plat::Error> error) {
        if (error) consoleLine("Error loading VPN preferences: " + error->localizedDescription());
    });
    return controller;
}

VelmoraController::VelmoraController(Passkey, Client& client, VPNHelper& helper)
    : connectionStatus(this, NEVPNStatus::invalid), currentRegion(this, Preferences::configId()),
      client_(client), helper_(helper) {
    consoleLine("initializing VelmoraController");
}

void VelmoraController::showStatus(NEVPNStatus status) {
    connectionStatus = status;
    plat::Application::shared().setApplicationIconImage(iconName(status));
}

void VelmoraController::observeNotifications() {
    std::weak_ptr<VelmoraController> weak = weak_from_this();
    auto& center = plat::NotificationCenter::defaultCenter();
    statusObserver_ = center.addObserver(plat::NEVPNStatusDidChangeNotification, {},
                                         [weak](const plat::Notification& notification) {
                                             if (auto self = weak.lock())
                                                 self->vpnStatusDidChange(notification);
                                         });
    logoutObserver_ = center.addObserver("logout", {}, [weak](const plat::Notification&) {
        if (auto self = weak.lock()) self->logout();
    });
}

std::optional<VPNRegion> VelmoraController::regionById(int64_t regionId) const {
    for (const VPNRegion& region : regions.get())
        if (region.id == regionId) return region;
    return std::nullopt;
}

void VelmoraController::didSelectRegion(int64_t regionId) {
    if (std::optional<VPNRegion> region = regionById(regionId)) didSelectRegion(*region);
}

void VelmoraController::didSelectRegion(const VPNRegion& region) {
    // The id is stored before the toggle: a connect started there asks for this region.
    Preferences::setServer(region.server_domain);
    Preferences::setConfigId(region.id);
    doConnect();
    Preferences::setCountryConnected(region.country_name);
}

void VelmoraController::loadRegions() {
    std::weak_ptr<VelmoraController> weak = weak_from_this();
    client_.userRegions([weak](std::optional<plat::Error> error, std::optional<JSON> reply) {
        if (auto self = weak.lock()) self->regionsArrived(error, reply);
    });
}

void VelmoraController::regionsArrived(const std::optional<plat::Error>& error,
                                       const std::optional<JSON>& reply) {
    if (error) {
        consoleLine("Error while getting regions: " + error->localizedDescription());
        return;
    }
    if (!reply) {
        consoleLine("JSON is nil");
        return;
    }
    std::vector<VPNRegion> list;
    try {
        list = VPNRegion::decodeList(*reply);
    } catch (const std::exception& e) { // DecodingError, or JSONException when the value cannot be written
        consoleLine(std::string("Decoding error: ") + e.what());
        return;
    }
    regions = list;
    region_ranking::sortByCountryName(list);
    regions = list;
    region_ranking::Best best = region_ranking::bestRegion(list);
    if (!best.anyNearest) consoleLine("No regions with is_nearest == true found.");
    if (best.index) {
        VPNRegion optimal = region_ranking::optimalCopy(list[*best.index]);
        list = region_ranking::removingId(list, optimal.id);
        regions = list;
        list.insert(list.begin(), std::move(optimal));
        regions = list;
    }
    plat::mainQueue().async([self = shared_from_this()] { self->selectDefaultRegion(); });
}

void VelmoraController::selectDefaultRegion() {
    std::optional<int64_t> selected = currentRegion.get();
    if (Preferences::configId() != 0 && selected && *selected != 0) return;
    std::vector<VPNRegion> list = regions.get();
    if (list.empty()) {
        consoleLine("Regions array is empty, cannot set Preferences.configId and currentRegion");
        return;
    }
    // The setting is written before the id is published, so the region list does not take the
    // default pick for a user's choice and never connects for it.
    Preferences::setConfigId(list.front().id);
    currentRegion = list.front().id;
    Preferences::setCountryConnected(list.front().country_name);
}

void VelmoraController::vpnStatusDidChange(const plat::Notification& notification) {
    const plat::Opaque& object = notification.object.opaque();
    const plat::NEVPNConnection* raw = object.as<plat::NEVPNConnection>();
    if (!raw) return; // not a VPN connection: nothing to follow
    std::shared_ptr<const plat::NEVPNConnection> connection(object.pointer, raw);

    plat::mainQueue().async([self = shared_from_this(), connection] {
        // Read when this runs, so the published value is the newest one.
        self->showStatus(connection->status());
    });
    consoleLine("NEVPNConnection.status: " + statusName(connection->status()));
}

void VelmoraController::doConnect() {
    switch (connectionStatus.get()) {
    case NEVPNStatus::invalid:
    case NEVPNStatus::disconnected:
        helper_.connectIPSecIKEv2();
        break;
    case NEVPNStatus::connecting:
    case NEVPNStatus::connected:
    case NEVPNStatus::reasserting:
        helper_.disconnectVPN();
        break;
    default:
        break; // disconnecting, or a value the platform does not define
    }
}

void VelmoraController::logout() {
    Preferences::setEmail(std::nullopt);
    Preferences::setToken(std::nullopt);
    Preferences::setPassword(std::nullopt);
    helper_.disconnectVPN();
    plat::Application::shared().setApplicationIconImage(iconName(NEVPNStatus::disconnected));
    plat::NotificationCenter::defaultCenter().post("showLoginView");
}

void VelmoraController::showCurrentSubscription() {
    client_.userCurrentPlan(
        [self = shared_from_this()](std::optional<plat::Error>, std::optional<JSON> reply) {
            if (reply) self->subscription = subscriptionText(*reply);
        });
}

std::string VelmoraController::subscriptionText(const JSON& plan) {
    // The top bar shows this text verbatim, so it is put in the interface's language here; the
    // plan's name is the service's and stays as sent.
    if (plan["status"].stringValue() != "active") return plat::LocalizedString("Your Plan Has Expired");
    if (plan["is_unlimited"].boolValue()) return plat::LocalizedString("Current Plan: Lifetime");
    return plat::LocalizedFormat("Current Plan: %@", {plan["name"].stringValue()});
}

std::string VelmoraController::statusName(NEVPNStatus status) {
    switch (status) {
    case NEVPNStatus::invalid:
        return "invalid";
    case NEVPNStatus::disconnected:
        return "disconnected";
    case NEVPNStatus::connecting:
        return "connecting";
    case NEVPNStatus::connected:
        return "connected";
    case NEVPNStatus::reasserting:
        return "reasserting";
    case NEVPNStatus::disconnecting:
        return "disconnecting";
    }
    return "unknown";
}

std::string VelmoraController::iconName(NEVPNStatus status) {
    switch (status) {
    case NEVPNStatus::invalid:
        return "iconInvalid";
    case NEVPNStatus::connecting:
    case NEVPNStatus::reasserting:
        return "iconConnecting";
    case NEVPNStatus::connected:
        return "iconConnected";
    case NEVPNStatus::disconnecting:
        return "iconDisconnecting";
    case NEVPNStatus::disconnected:
        break;
    }
    return "AppIconMacOS";
}
