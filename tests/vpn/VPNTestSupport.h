// Shared pieces of the VPN simulator tests: running a manager operation to its completion, a
// keychain password item with its persistent reference, a profile that can connect, and a recorder
// of status notifications.
#pragma once

#include "platform/foundation/NotificationCenter.h"
#include "platform/security/SecItem.h"
#include "platform/vpn/NEVPNManager.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace vpntest {

using Operation = void (plat::NEVPNManager::*)(plat::NEVPNManager::Completion);

// Runs a load, save or remove and returns the error its completion received.
inline std::optional<plat::Error> run(plat::NEVPNManager& manager, Operation operation) {
    bool called = false;
    std::optional<plat::Error> result;
    (manager.*operation)([&](std::optional<plat::Error> error) {
        EXPECT_TRUE(manager.queue().isCurrent()) << "completions come from the simulator's queue";
        called = true;
        result = std::move(error);
    });
    manager.queue().sync([] {});
    EXPECT_TRUE(called);
    return result;
}

// Adds the generic-password item (service, account) and returns its persistent reference.
inline plat::Data addPassword(const std::string& service, const std::string& account,
                              const std::string& password) {
    plat::Object result;
    plat::OSStatus status = plat::SecItemAdd({{plat::kSecClass, plat::kSecClassGenericPassword},
                                              {plat::kSecAttrService, service},
                                              {plat::kSecAttrAccount, account},
                                              {plat::kSecValueData, plat::toData(password)},
                                              {plat::kSecReturnPersistentRef, true}},
                                             &result);
    EXPECT_EQ(status, plat::errSecSuccess);
    return result.data();
}

// Sets up `manager` with an enabled IKEv2 profile towards `server` using `reference`.
inline std::shared_ptr<plat::NEVPNProtocolIKEv2>
configure(plat::NEVPNManager& manager, const std::string& server, std::optional<plat::Data> reference) {
    auto protocol = std::make_shared<plat::NEVPNProtocolIKEv2>();
    protocol->setServerAddress(server);
    protocol->setUsername("user");
    protocol->setPasswordReference(std::move(reference));
    manager.setProtocolConfiguration(protocol);
    manager.setLocalizedDescription("Test VPN");
    manager.setEnabled(true);
    return protocol;
}

// Records every status notification: the status read on delivery and whether it came from the
// simulator's queue.
class StatusRecorder {
public:
    explicit StatusRecorder(const plat::NEVPNManager& manager) : manager_(manager) {
        token_ = plat::NotificationCenter::defaultCenter().addObserver(
            plat::NEVPNStatusDidChangeNotification, {}, [this](const plat::Notification& n) {
                const auto* connection = n.object.opaque().as<plat::NEVPNConnection>();
                std::lock_guard lock(mutex_);
                if (connection != manager_.connection().get()) return; // another manager's tunnel
                statuses_.push_back(connection->status());
                allOnQueue_ = allOnQueue_ && manager_.queue().isCurrent();
            });
    }
    std::vector<plat::NEVPNStatus> statuses() const {
        manager_.queue().sync([] {});
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    bool allOnQueue() const {
        std::lock_guard lock(mutex_);
        return allOnQueue_;
    }

private:
    const plat::NEVPNManager& manager_;
    plat::NotificationCenter::Token token_;
    mutable std::mutex mutex_;
    std::vector<plat::NEVPNStatus> statuses_;
    bool allOnQueue_ = true;
};

} // namespace vpntest
