#include "installations/TSRInstallationsStore.h"

#include "core/TULUserDefaults.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsStoredItem.h"
#include "utilities/TULKeychainStorage.h"

using promises::Promise;
using promises::Void;

TSRInstallationsStore::TSRInstallationsStore(std::shared_ptr<TULKeychainStorage> secureStorage,
                                             std::optional<std::string> accessGroup)
    : secureStorage_(std::move(secureStorage)), accessGroup_(std::move(accessGroup)),
      queue_(plat::DispatchQueue::serial("com.tessera.TSRInstallationsStore")),
      userDefaults_(std::make_shared<TULUserDefaults>(kTSRInstallationsStoreUserDefaultsID)) {}

// The queued blocks hold the collaborators themselves, not the store, so work still queued when
// the store goes away finishes safely.

Promise<TSRInstallationsItem> TSRInstallationsStore::installationForAppID(const std::string& appID,
                                                                          const std::string& appName) const {
    Promise<TSRInstallationsItem> result;
    const std::string identifier = TSRInstallationsItem::identifierWithAppID(appID, appName);
    queue_.async([result, identifier, appID, appName, defaults = userDefaults_, storage = secureStorage_,
                  accessGroup = accessGroup_] {
        if (defaults->objectForKey(identifier).isAbsent()) {
            result.reject(TSRInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName));
            return;
        }
        storage->getObjectForKey(
            identifier, plat::SecureCodingClass::of<TSRInstallationsStoredItem>(), accessGroup,
            [result, appID, appName](TULKeychainStorage::Object object, std::optional<plat::Error> error) {
                if (error) return result.reject(*error);
                if (!object)
                    return result.reject(
                        TSRInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName));
                TSRInstallationsItem item(appID, appName);
                item.updateWithStoredItem(static_cast<const TSRInstallationsStoredItem&>(*object));
                result.fulfill(item);
            });
    });
    return result;
}

Promise<Void> TSRInstallationsStore::saveInstallation(const TSRInstallationsItem& installation) const {
    Promise<Void> result;
    const std::string identifier = installation.identifier();
    secureStorage_->setObject(installation.storedItem(), identifier, accessGroup_,
                              [result, identifier, queue = queue_, defaults = userDefaults_](
                                  TULKeychainStorage::Object, std::optional<plat::Error> error) {
                                  if (error) return result.reject(*error);
                                  queue.async([result, identifier, defaults] {
                                      defaults->setBool(true, identifier);
                                      result.fulfill(Void{});
                                  });
                              });
    return result;
}

Promise<Void> TSRInstallationsStore::removeInstallationForAppID(const std::string& appID,
                                                                const std::string& appName) const {
    Promise<Void> result;
    const std::string identifier = TSRInstallationsItem::identifierWithAppID(appID, appName);
    secureStorage_->removeObjectForKey(
        identifier, accessGroup_,
        [result, identifier, queue = queue_, defaults = userDefaults_](std::optional<plat::Error> error) {
            if (error) return result.reject(*error);
            queue.async([result, identifier, defaults] {
                defaults->removeObjectForKey(identifier);
                result.fulfill(Void{});
            });
        });
    return result;
}

Promise<Void> TSRInstallationsStore::installationExistsForAppID(const std::string& appID,
                                                                const std::string& appName) const {
    Promise<Void> result;
    queue_.async([result, appID, appName, defaults = userDefaults_] {
        if (defaults->objectForKey(TSRInstallationsItem::identifierWithAppID(appID, appName)).isAbsent())
            result.reject(TSRInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName));
        else
            result.fulfill(Void{});
    });
    return result;
}

Promise<Void> TSRInstallationsStore::setInstallationExists(bool exists, const std::string& identifier) const {
    Promise<Void> result;
    queue_.async([result, exists, identifier, defaults = userDefaults_] {
        if (exists)
            defaults->setBool(true, identifier);
        else
            defaults->removeObjectForKey(identifier);
        result.fulfill(Void{});
    });
    return result;
}
