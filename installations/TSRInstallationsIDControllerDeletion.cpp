// TSRInstallationsIDController: deleting the installation, and the change notification.
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsIDController.h"
#include "installations/TSRInstallationsLogger.h"
#include "platform/foundation/NotificationCenter.h"

using promises::Promise;
using promises::Void;
using Item = TSRInstallationsItem;

namespace {

std::shared_ptr<TSRInstallationsIDController>
lockController(const std::weak_ptr<TSRInstallationsIDController>& weak) {
    std::shared_ptr<TSRInstallationsIDController> self = weak.lock();
    if (!self)
        throw TSRInstallationsErrorUtil::installationsErrorWithCode(
            TSRInstallationsErrorCodeUnknown, std::string("The installations controller no longer exists."),
            std::nullopt);
    return self;
}

} // namespace

Promise<Item> TSRInstallationsIDController::deleteInstallation() {
    return deleteInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

Promise<Item> TSRInstallationsIDController::createDeleteInstallationPromise() {
    TSRLogDebug(kTSRLoggerInstallations, "I-INS002002", "%s, appName: %@",
                "-[TSRInstallationsIDController createDeleteInstallationPromise]", appName_);
    // The record an operation in flight is about to hand out is the one to delete.
    std::optional<Promise<Item>> installation =
        authTokenForcingRefreshPromiseCache_->getExistingPendingPromise();
    if (!installation) installation = authTokenPromiseCache_->getExistingPendingPromise();
    if (!installation) installation = getInstallationPromiseCache_->getExistingPendingPromise();
    if (!installation)
        installation = installationsStore_->installationForAppID(appID_, appName_)
                           .then(promises::promisesQueue(), [](const Item& stored) -> Item {
                               std::optional<plat::Error> invalid;
                               if (!stored.isValid(&invalid)) throw *invalid;
                               return stored;
                           });
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    return installation
        ->then(promises::promisesQueue(),
               [weak](const Item& found) { return lockController(weak)->sendDeleteRequestIfNeeded(found); })
        .then(promises::promisesQueue(), [weak](const Item& found) {
            return lockController(weak)->deleteInstallationLocally(found, true);
        });
}

Promise<Item> TSRInstallationsIDController::sendDeleteRequestIfNeeded(const Item& installation) {
    // The service never heard of a record that was not registered.
    if (installation.registrationStatus() != TSRInstallationsRegistrationStatusRegistered)
        return Promise<Item>(installation);
    return APIService_->deleteInstallation(installation)
        .recover(promises::promisesQueue(), [installation](const plat::Error& error) {
            if (TSRInstallationsErrorUtil::isAPIError(error, 404)) return installation;
            throw error;
        });
}

Promise<Item> TSRInstallationsIDController::deleteInstallationLocally(const Item& installation,
                                                                      bool postNotification) {
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    return installationsStore_
        ->removeInstallationForAppID(installation.appID(), installation.tesseraAppName())
        .then(promises::promisesQueue(),
              [weak](const Void&) {
                  std::shared_ptr<TSRInstallationsIDController> self = lockController(weak);
                  if (self->isDefaultApp() && self->IIDStore_) return self->IIDStore_->deleteExistingIID();
                  return Promise<Void>(Void{});
              })
        .then(promises::promisesQueue(), [weak, installation, postNotification](const Void&) {
            if (postNotification) lockController(weak)->postTIDChangedNotification();
            return installation;
        });
}

void TSRInstallationsIDController::postTIDChangedNotification() const {
    plat::NotificationCenter::defaultCenter().post(
        kTSRInstallationIDDidChangeNotification, plat::Object(),
        plat::Object::Dict{{kTSRInstallationIDDidChangeNotificationAppNameKey, plat::Object(appName_)}});
}
