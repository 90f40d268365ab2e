#include "installations/TSRInstallationsIDController.h"

#include "core/TSRApp.h"
#include "core/TSRHeartbeatLogger.h"
#include "core/TSROptions.h"
#include "installations/TSRInstallationsErrorUtil.h"
#include "installations/TSRInstallationsHTTPError.h"
#include "installations/TSRInstallationsLogger.h"
#include "promises/PromiseCombinators.h"
#include "promises/TPRValue.h"
#include "utilities/TULKeychainStorage.h"

#include <tuple>

using promises::Promise;
using promises::Void;
using Item = TSRInstallationsItem;

namespace {

plat::DispatchQueue queue() {
    return promises::promisesQueue();
}

// What a chain step meets when the controller went away while the chain was in flight.
plat::Error controllerGone() {
    return TSRInstallationsErrorUtil::installationsErrorWithCode(
        TSRInstallationsErrorCodeUnknown, std::string("The installations controller no longer exists."),
        std::nullopt);
}

std::shared_ptr<TSRInstallationsIDController> lock(const std::weak_ptr<TSRInstallationsIDController>& weak) {
    std::shared_ptr<TSRInstallationsIDController> self = weak.lock();
    if (!self) throw controllerGone();
    return self;
}

bool expiresSoon(const Item& installation) {
    const auto& token = installation.authToken();
    if (!token || !token->expirationDate()) return true;
    return token->expirationDate()->secondsSince1970 - plat::Date::now().secondsSince1970 <
           kTSRInstallationsTokenExpirationThreshold;
}

} // namespace

std::shared_ptr<TSRInstallationsIDController> TSRInstallationsIDController::initWithApp(const TSRApp& app) {
    const std::shared_ptr<TSROptions> options = app.options();
    const std::string appID = options->tesseraAppID().value_or("");
    auto storage = std::make_shared<TULKeychainStorage>(keychainServiceWithAppID(appID));
    return make(appID, app.name(), std::make_shared<TSRInstallationsStore>(storage, options->appGroupID()),
                std::make_shared<TSRInstallationsAPIService>(
                    options->APIKey().value_or(""), options->projectID().value_or(""), app.heartbeatLogger()),
                std::make_shared<TSRInstallationsIIDStore>(),
                std::make_shared<TSRInstallationsIIDTokenStore>(options->senderID().value_or("")),
                std::make_shared<TSRInstallationsBackoffController>());
}

std::shared_ptr<TSRInstallationsIDController>
TSRInstallationsIDController::make(std::string appID, std::string appName,
                                   std::shared_ptr<TSRInstallationsStore> installationsStore,
                                   std::shared_ptr<TSRInstallationsAPIService> APIService,
                                   std::shared_ptr<TSRInstallationsIIDStore> IIDStore,
                                   std::shared_ptr<TSRInstallationsIIDTokenStore> IIDTokenStore,
                                   std::shared_ptr<TSRInstallationsBackoffController> backoffController) {
    std::shared_ptr<TSRInstallationsIDController> controller(new TSRInstallationsIDController());
    controller->appID_ = std::move(appID);
    controller->appName_ = std::move(appName);
    controller->installationsStore_ = std::move(installationsStore);
    controller->APIService_ = std::move(APIService);
    controller->IIDStore_ = std::move(IIDStore);
    controller->IIDTokenStore_ = std::move(IIDTokenStore);
    controller->backoffController_ = std::move(backoffController);
    // The operations hold the controller weakly: a cache must not keep its owner alive.
    std::weak_ptr<TSRInstallationsIDController> weak = controller;
    using Cache = TSRInstallationsSingleOperationPromiseCache<Item>;
    controller->getInstallationPromiseCache_ =
        std::make_unique<Cache>([weak] { return lock(weak)->createGetInstallationItemPromise(); });
    controller->authTokenPromiseCache_ = std::make_unique<Cache>([weak] {
        return lock(weak)->installationWithValidAuthTokenForcingRefresh(
            false, kTSRInstallationsMaxRegistrationRestarts);
    });
    controller->authTokenForcingRefreshPromiseCache_ = std::make_unique<Cache>([weak] {
        return lock(weak)->installationWithValidAuthTokenForcingRefresh(
            true, kTSRInstallationsMaxRegistrationRestarts);
    });
    controller->deleteInstallationPromiseCache_ =
        std::make_unique<Cache>([weak] { return lock(weak)->createDeleteInstallationPromise(); });
    return controller;
}

std::string TSRInstallationsIDController::keychainServiceWithAppID(const std::string& appID) {
    return "com.tessera.TSRInstallations.installations." + appID;
}

bool TSRInstallationsIDController::isDefaultApp() const {
    return appName_ == kTSRDefaultAppName;
}

// Getting the record

Promise<Item> TSRInstallationsIDController::getInstallationItem() {
    return getInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

Promise<Item> TSRInstallationsIDController::createGetInstallationItemPromise() {
    TSRLogDebug(kTSRLoggerInstallations, "I-INS002000", "%s, appName: %@",
                "-[TSRInstallationsIDController createGetInstallationItemPromise]", appName_);
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    Promise<Item> result =
        installationsStore_->installationForAppID(appID_, appName_)
            .then(queue(),
                  [](const Item& stored) -> Item {
                      std::optional<plat::Error> invalid;
                      if (!stored.isValid(&invalid)) {
                          TSRLogWarning(kTSRLoggerInstallations, "I-INS002004",
                                        "Stored installation validation error: %@",
                                        TPRErrorDescription(*invalid));
                          throw *invalid;
                      }
                      return stored;
                  })
            // Not found, unreadable or invalid: a new record replaces it.
            .recover(queue(), [weak](const plat::Error&) { return lock(weak)->createAndSaveTID(); });
    result.then(queue(), [weak](const Item&) {
        if (auto self = weak.lock()) self->getAuthTokenForcingRefresh(false);
    });
    return result;
}

Promise<Item> TSRInstallationsIDController::createAndSaveTID() {
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    return migratedOrNewInstallation().then(queue(), [weak](const Item& installation) {
        return lock(weak)
            ->installationsStore_->saveInstallation(installation)
            .then(queue(), [weak, installation](const Void&) {
                lock(weak)->postTIDChangedNotification();
                return installation;
            });
    });
}

Promise<Item> TSRInstallationsIDController::migratedOrNewInstallation() {
    auto newInstallation = [appID = appID_, appName = appName_](std::string tid, std::string legacyToken) {
        Item installation(appID, appName);
        installation.setTesseraInstallationID(std::move(tid));
        installation.setIIDDefaultToken(std::move(legacyToken));
        installation.setRegistrationStatus(TSRInstallationsRegistrationStatusUnregistered);
        return installation;
    };
    if (!isDefaultApp() || !IIDStore_ || !IIDTokenStore_)
        return Promise<Item>(newInstallation(Item::generateTID(), ""));
    return promises::all(queue(), IIDStore_->existingIID(), IIDTokenStore_->existingIIDDefaultToken())
        .then(queue(),
              [newInstallation](const std::tuple<std::string, std::string>& legacy) {
                  return newInstallation(std::get<0>(legacy), std::get<1>(legacy));
              })
        .recover(queue(),
                 [newInstallation](const plat::Error&) { return newInstallation(Item::generateTID(), ""); });
}

// Registration and tokens

Promise<Item> TSRInstallationsIDController::registerInstallationIfNeeded(const Item& installation) {
    if (installation.registrationStatus() == TSRInstallationsRegistrationStatusRegistered)
        return Promise<Item>(installation);
    if (!backoffController_->isNextRequestAllowed())
        return TSRInstallationsErrorUtil::rejectedPromiseWithError<Item>(
            TSRInstallationsErrorUtil::backoffIntervalWaitError());
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    return APIService_->registerInstallation(installation)
        .catch_(
            queue(),
            [weak, appName = appName_](const plat::Error& error) {
                if (auto self = weak.lock()) self->updateBackoffWithSuccess(false, &error);
                if (TSRInstallationsErrorUtil::isAPIError(error, 400) ||
                    TSRInstallationsErrorUtil::isAPIError(error, 403) ||
                    TSRInstallationsErrorUtil::isAPIError(error, 404))
                    TSRLogError(
                        kTSRLoggerInstallations, "I-INS002003",
                        "Tessera Installation registration failed for app with name: %@, error:\n%@\nPlease "
                        "make sure you use valid TesseraOptions.plist",
                        appName, TSRInstallationsErrorUtil::failureReason(error));
            })
        .then(queue(), [weak, sentTID = installation.tesseraInstallationID()](const Item& registered) {
            std::shared_ptr<TSRInstallationsIDController> self = lock(weak);
            self->updateBackoffWithSuccess(true, nullptr);
            return self->installationsStore_->saveInstallation(registered)
                .then(queue(), [weak, registered, sentTID](const Void&) {
                    if (registered.tesseraInstallationID() != sentTID)
                        lock(weak)->postTIDChangedNotification();
                    return registered;
                });
        });
}

Promise<Item> TSRInstallationsIDController::getAuthTokenForcingRefresh(bool forceRefresh) {
    if (forceRefresh) return authTokenForcingRefreshPromiseCache_->getExistingPendingOrCreateNewPromise();
    if (auto forced = authTokenForcingRefreshPromiseCache_->getExistingPendingPromise()) return *forced;
    return authTokenPromiseCache_->getExistingPendingOrCreateNewPromise();
}

Promise<Item> TSRInstallationsIDController::installationWithValidAuthTokenForcingRefresh(bool forceRefresh,
                                                                                         int restartsLeft) {
    TSRLogDebug(
        kTSRLoggerInstallations, "I-INS002001",
        "-[TSRInstallationsIDController installationWithValidAuthTokenForcingRefresh:%@], appName: %@",
        plat::Object(static_cast<int64_t>(forceRefresh)), appName_);
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    return getInstallationItem()
        .then(queue(),
              [weak](const Item& installation) {
                  return lock(weak)->registerInstallationIfNeeded(installation);
              })
        .then(queue(),
              [weak, forceRefresh](const Item& installation) {
                  if (forceRefresh || expiresSoon(installation))
                      return lock(weak)->refreshAuthTokenForInstallation(installation);
                  return Promise<Item>(installation);
              })
        .recover(queue(), [weak, restartsLeft](const plat::Error& error) -> Promise<Item> {
            const bool unknownToService = TSRInstallationsErrorUtil::isAPIError(error, 401) ||
                                          TSRInstallationsErrorUtil::isAPIError(error, 404);
            // A service that keeps refusing every new installation must not send us round forever.
            if (!unknownToService || restartsLeft <= 0) throw error;
            std::shared_ptr<TSRInstallationsIDController> self = lock(weak);
            return self->getInstallationItem()
                .then(queue(),
                      // The new record that replaces this one tells of the change: one notification.
                      [weak](const Item& installation) {
                          return lock(weak)->deleteInstallationLocally(installation, false);
                      })
                .then(queue(), [weak, restartsLeft](const Item&) {
                    return lock(weak)->installationWithValidAuthTokenForcingRefresh(false, restartsLeft - 1);
                });
        });
}

Promise<Item> TSRInstallationsIDController::refreshAuthTokenForInstallation(const Item& installation) {
    if (!backoffController_->isNextRequestAllowed())
        return TSRInstallationsErrorUtil::rejectedPromiseWithError<Item>(
            TSRInstallationsErrorUtil::backoffIntervalWaitError());
    std::weak_ptr<TSRInstallationsIDController> weak = weak_from_this();
    return APIService_->refreshAuthTokenForInstallation(installation)
        .catch_(queue(),
                [weak](const plat::Error& error) {
                    if (auto self = weak.lock()) self->updateBackoffWithSuccess(false, &error);
                })
        .then(queue(), [weak](const Item& refreshed) {
            std::shared_ptr<TSRInstallationsIDController> self = lock(weak);
            self->updateBackoffWithSuccess(true, nullptr);
            return self->installationsStore_->saveInstallation(refreshed).then(
                queue(), [refreshed](const Void&) { return refreshed; });
        });
}

void TSRInstallationsIDController::updateBackoffWithSuccess(bool success, const plat::Error* APIError) {
    if (success) {
        backoffController_->registerEvent(TSRInstallationsBackoffEventSuccess);
        return;
    }
    if (!APIError) return;
    auto failure = TSRInstallationsHTTPError::fromError(*APIError);
    // Transport and parse failures say nothing about the service's mood.
    if (!failure) return;
    switch (failure->HTTPResponse().statusCode) {
    case 400:
    case 403:
        backoffController_->registerEvent(TSRInstallationsBackoffEventUnrecoverableFailure);
        break;
    case 401:
    case 404:
        break;
    default:
        backoffController_->registerEvent(TSRInstallationsBackoffEventRecoverableFailure);
        break;
    }
}
