// Keeps one installation record per app: the archived record as a generic-password keychain item
// (account = the record's identifier) and, in the user-defaults suite
// "com.tessera.TSRInstallations", a flag that says the item is meant to exist. A keychain item
// without its flag (one that outlived the defaults) is never read; the next save overwrites it.
// Flag reads and writes run on the store's serial queue, keychain work on the secure storage's
// queues; every operation answers a promise whose callbacks run on the promise library's default
// queue. Holds no record in memory. Thread-safe.
#pragma once

#include "installations/TSRInstallationsItem.h"
#include "platform/dispatch/DispatchQueue.h"
#include "promises/Promise.h"

#include <memory>
#include <optional>
#include <string>

class TULKeychainStorage;
class TULUserDefaults;

inline constexpr const char* kTSRInstallationsStoreUserDefaultsID = "com.tessera.TSRInstallations";

class TSRInstallationsStore {
public:
    TSRInstallationsStore(std::shared_ptr<TULKeychainStorage> secureStorage,
                          std::optional<std::string> accessGroup);

    // The stored record; rejected with the not-found error when the flag or the item is missing,
    // and with the keychain's or unarchiver's error when the item cannot be read.
    promises::Promise<TSRInstallationsItem> installationForAppID(const std::string& appID,
                                                                 const std::string& appName) const;
    // Writes the record, then sets its flag. A failed keychain write rejects, leaves the flag as
    // it was and leaves the previously stored record in place.
    promises::Promise<promises::Void> saveInstallation(const TSRInstallationsItem& installation) const;
    // Deletes the item, then removes the flag.
    promises::Promise<promises::Void> removeInstallationForAppID(const std::string& appID,
                                                                 const std::string& appName) const;
    // Fulfilled when the flag is set, else rejected with the not-found error.
    promises::Promise<promises::Void> installationExistsForAppID(const std::string& appID,
                                                                 const std::string& appName) const;
    promises::Promise<promises::Void> setInstallationExists(bool exists, const std::string& identifier) const;

private:
    std::shared_ptr<TULKeychainStorage> secureStorage_;
    std::optional<std::string> accessGroup_;
    plat::DispatchQueue queue_;
    std::shared_ptr<TULUserDefaults> userDefaults_;
};
