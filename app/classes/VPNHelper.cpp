#include "app/classes/VPNHelper.h"

#include "app/classes/Preferences.h"
#include "app/classes/VPNKeychain.h"
#include "app/network/Client.h"
#include "app/network/ClientKeys.h"
#include "platform/log/OSLog.h"
#include "platform/vpn/NEOnDemandRule.h"
#include "platform/vpn/NEVPNManager.h"
#include "platform/vpn/NEVPNProtocol.h"
#include "json/JSON.h"

using plat::consoleLine;

namespace {

// The error as the platform describes it: domain, code and message.
std::string errorDescription(const plat::Error& error) {
    return error.domain + " error " + std::to_string(error.code) + ": " + error.localizedDescription();
}

} // namespace

VPNHelper& VPNHelper::shared() {
    static std::shared_ptr<VPNHelper>* helper =
        new std::shared_ptr<VPNHelper>(create(plat::NEVPNManager::shared(), Client::shared()));
    return **helper;
}

std::shared_ptr<VPNHelper> VPNHelper::create(plat::NEVPNManager& manager, Client& client) {
    return std::shared_ptr<VPNHelper>(new VPNHelper(manager, client));
}

plat::NEVPNStatus VPNHelper::currentStatus() {
    return manager_.connection()->status();
}

void VPNHelper::connectIPSecIKEv2() {
    std::weak_ptr<VPNHelper> weak = weak_from_this();
    manager_.loadFromPreferences([weak](std::optional<plat::Error> error) {
        std::shared_ptr<VPNHelper> self = weak.lock();
        if (!self) return;
        if (error) {
            consoleLine("Error loading VPN preferences: " + error->localizedDescription());
            return;
        }
        std::string prot = std::to_string(Preferences::configId());
        self->client_.IPSecConfiguration(prot,
                                         [self](std::optional<plat::Error> error, std::optional<JSON> reply) {
                                             self->configure(error, reply);
                                         });
    });
}

void VPNHelper::configure(const std::optional<plat::Error>& error, const std::optional<JSON>& reply) {
    if (!reply) {
        consoleLine("Failed to retrieve IPSec configuration: " +
                    (error ? error->localizedDescription() : std::string("Unknown error")));
        return;
    }
    std::string password = (*reply)[Client::Keys::radiusPassword].stringValue();
    Preferences::setKeychainValue((*reply)[Client::Keys::radiusLogin].stringValue(),
                                  Preferences::Keys::vpnUsername);
    Preferences::setKeychainValue(password, Preferences::Keys::vpnPassword);
    Preferences::setKeychainValue((*reply)[Client::Keys::serverDomain].stringValue(),
                                  Preferences::Keys::server);

    auto protocol = std::make_shared<plat::NEVPNProtocolIKEv2>();
    protocol->setAuthenticationMethod(plat::NEVPNIKEAuthenticationMethod::None);
    protocol->setUseExtendedAuthentication(true);
    const keychain::Keychain& keychain = Preferences::defaultKeychain();
    if (auto server = keychain[Preferences::Keys::server]) protocol->setServerAddress(*server);
    if (auto server = keychain[Preferences::Keys::server]) protocol->setRemoteIdentifier(*server);
    if (auto username = keychain[Preferences::Keys::vpnUsername]) protocol->setUsername(*username);

    plat::Data reference;
    try {
        reference = VPNKeychain::persistentReferenceFor(
            Preferences::keychainGroupName, Preferences::Keys::vpnPassword, plat::toData(password));
    } catch (const plat::Error& e) {
        consoleLine("Error setting up password reference: " + errorDescription(e));
        return;
    } catch (const std::exception& e) {
        consoleLine(std::string("Error setting up password reference: ") + e.what());
        return;
    }
    protocol->setPasswordReference(reference);
    finishProfile(protocol);
    consoleLine("Attempting to connect to server: " +
                keychain[Preferences::Keys::server].value_or("Unknown"));
    saveAndStart();
}

void VPNHelper::finishProfile(const std::shared_ptr<plat::NEVPNProtocolIKEv2>& protocol) {
    using namespace plat;
    for (NEVPNIKEv2SecurityAssociationParameters* sa :
         {&protocol->IKESecurityAssociationParameters(), &protocol->childSecurityAssociationParameters()}) {
        sa->setEncryptionAlgorithm(NEVPNIKEv2EncryptionAlgorithm::AES256GCM);
        sa->setIntegrityAlgorithm(NEVPNIKEv2IntegrityAlgorithm::SHA384);
        sa->setDiffieHellmanGroup(NEVPNIKEv2DiffieHellmanGroup::Group31);
    }
    protocol->setEnablePFS(true);
    auto rule = std::make_shared<NEOnDemandRuleConnect>();
    rule->setInterfaceTypeMatch(NEOnDemandRuleInterfaceType::Any);
    manager_.setOnDemandRules({rule});
    // The kill switch: reconnect on demand and force all traffic through the tunnel.
    manager_.setOnDemandEnabled(Preferences::killSwitch());
    protocol->setIncludeAllNetworks(Preferences::killSwitch());
    protocol->setExcludeLocalNetworks(Preferences::excludeLocalNetworks());
    manager_.setProtocolConfiguration(protocol);
    manager_.setLocalizedDescription(std::string(profileDescription));
    manager_.setEnabled(true);
}

void VPNHelper::saveAndStart() {
    std::shared_ptr<VPNHelper> self = shared_from_this();
    manager_.saveToPreferences([self](std::optional<plat::Error> error) {
        if (error) {
            consoleLine("Save Error:  " + errorDescription(*error));
            return;
        }
        consoleLine("CALL LOAD TO PREFERENCES AGAIN...");
        self->manager_.loadFromPreferences([self](std::optional<plat::Error> error) {
            if (error) {
                consoleLine("VPN Preferences error: 2 - Optional(" + errorDescription(*error) + ")");
                return;
            }
            try {
                self->manager_.connection()->startVPNTunnel();
                consoleLine("Start VPN");
            } catch (const plat::Error& e) {
                consoleLine("Error starting VPN Tunnel: " + errorDescription(e));
            }
        });
    });
}

void VPNHelper::disconnectVPN() {
    manager_.setOnDemandEnabled(false);
    std::shared_ptr<VPNHelper> self = shared_from_this();
    manager_.saveToPreferences(
        [self](std::optional<plat::Error>) { self->manager_.connection()->stopVPNTunnel(); });
}

void VPNHelper::disconnectLeftoverTunnel() {
    std::weak_ptr<VPNHelper> weak = weak_from_this();
    manager_.loadFromPreferences([weak](std::optional<plat::Error> error) {
        std::shared_ptr<VPNHelper> self = weak.lock();
        if (!self || error) return;
        plat::NEVPNStatus status = self->manager_.connection()->status();
        if (status != plat::NEVPNStatus::connected && status != plat::NEVPNStatus::connecting &&
            status != plat::NEVPNStatus::reasserting)
            return;
        consoleLine("Signed out with the tunnel up: disconnecting it.");
        self->disconnectVPN();
    });
}

void VPNHelper::removeVPNProfile(Completion completion) {
    std::weak_ptr<VPNHelper> weak = weak_from_this();
    manager_.loadFromPreferences(
        [weak, completion = std::move(completion)](std::optional<plat::Error> error) {
            std::shared_ptr<VPNHelper> self = weak.lock();
            if (!self) return;
            if (error) {
                if (completion) completion(error);
                return;
            }
            self->manager_.removeFromPreferences([completion](std::optional<plat::Error> error) {
                if (completion) completion(error);
            });
        });
}
