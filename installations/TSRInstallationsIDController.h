// The state machine behind the installations facade, for one app: gets or creates the installation
// record (taking over a legacy identity for the default app), registers it with the service, keeps
// a valid auth token and deletes the installation. Concurrent requests for the same operation join
// one promise; after failures the backoff controller keeps the service from being called for a
// while. Every chain runs its steps on the promise library's default queue; the service, keychain
// and user defaults work on their own queues. Made with make(); the operations may be called from
// any thread.
//
// Where the members live: TSRInstallationsIDController.cpp holds getting, creating, registering and
// the auth token; TSRInstallationsIDControllerDeletion.cpp deleting and the change notification.
#pragma once

#include "installations/TSRInstallationsAPIService.h"
#include "installations/TSRInstallationsBackoffController.h"
#include "installations/TSRInstallationsIIDStore.h"
#include "installations/TSRInstallationsIIDTokenStore.h"
#include "installations/TSRInstallationsItem.h"
#include "installations/TSRInstallationsSingleOperationPromiseCache.h"
#include "installations/TSRInstallationsStore.h"

#include <memory>
#include <string>

class TSRApp;

inline constexpr const char* kTSRInstallationIDDidChangeNotification =
    "TSRInstallationIDDidChangeNotification";
inline constexpr const char* kTSRInstallationIDDidChangeNotificationAppNameKey =
    "TSRInstallationIDDidChangeNotification";
// A token that expires sooner than this many seconds from now is refreshed before it is handed out.
inline constexpr double kTSRInstallationsTokenExpirationThreshold = 3600;
// How often one token request may start over with a new installation after the service answered
// 401 or 404; the next such answer fails the request with that HTTP error.
inline constexpr int kTSRInstallationsMaxRegistrationRestarts = 1;

class TSRInstallationsIDController : public std::enable_shared_from_this<TSRInstallationsIDController> {
public:
    // Builds the collaborators from the app and its options: the keychain storage of
    // keychainServiceWithAppID(), the store (access group = the app group), the service client
    // (API key, project id, the app's heartbeat logger), the legacy stores and a real-time backoff.
    static std::shared_ptr<TSRInstallationsIDController> initWithApp(const TSRApp& app);
    static std::shared_ptr<TSRInstallationsIDController>
    make(std::string appID, std::string appName, std::shared_ptr<TSRInstallationsStore> installationsStore,
         std::shared_ptr<TSRInstallationsAPIService> APIService,
         std::shared_ptr<TSRInstallationsIIDStore> IIDStore,
         std::shared_ptr<TSRInstallationsIIDTokenStore> IIDTokenStore,
         std::shared_ptr<TSRInstallationsBackoffController> backoffController);

    // The stored record, or a new one (saved, with the change notification). Once it is there a
    // token request starts in the background, so getting the identifier also registers.
    promises::Promise<TSRInstallationsItem> getInstallationItem();
    // A registered record whose auth token is valid for at least the threshold (refreshed when
    // forced). A plain request made while a forced one runs joins the forced one.
    promises::Promise<TSRInstallationsItem> getAuthTokenForcingRefresh(bool forceRefresh);
    // Deletes the installation at the service (when registered; a 404 counts as done) and locally,
    // then posts the change notification. Fulfilled with the deleted record.
    promises::Promise<TSRInstallationsItem> deleteInstallation();

    // "com.tessera.TSRInstallations.installations.<appID>".
    static std::string keychainServiceWithAppID(const std::string& appID);

    const std::string& appID() const { return appID_; }
    const std::string& appName() const { return appName_; }
    const std::shared_ptr<TSRInstallationsBackoffController>& backoffController() const {
        return backoffController_;
    }

private:
    TSRInstallationsIDController() = default;

    bool isDefaultApp() const;
    promises::Promise<TSRInstallationsItem> createGetInstallationItemPromise();
    promises::Promise<TSRInstallationsItem> createAndSaveTID();
    promises::Promise<TSRInstallationsItem> migratedOrNewInstallation();
    promises::Promise<TSRInstallationsItem>
    registerInstallationIfNeeded(const TSRInstallationsItem& installation);
    promises::Promise<TSRInstallationsItem> installationWithValidAuthTokenForcingRefresh(bool forceRefresh,
                                                                                         int restartsLeft);
    promises::Promise<TSRInstallationsItem>
    refreshAuthTokenForInstallation(const TSRInstallationsItem& installation);
    promises::Promise<TSRInstallationsItem> createDeleteInstallationPromise();
    promises::Promise<TSRInstallationsItem>
    sendDeleteRequestIfNeeded(const TSRInstallationsItem& installation);
    promises::Promise<TSRInstallationsItem>
    deleteInstallationLocally(const TSRInstallationsItem& installation, bool postNotification);
    void updateBackoffWithSuccess(bool success, const plat::Error* APIError);
    void postTIDChangedNotification() const;

    std::string appID_;
    std::string appName_;
    std::shared_ptr<TSRInstallationsStore> installationsStore_;
    std::shared_ptr<TSRInstallationsAPIService> APIService_;
    std::shared_ptr<TSRInstallationsIIDStore> IIDStore_;
    std::shared_ptr<TSRInstallationsIIDTokenStore> IIDTokenStore_;
    std::shared_ptr<TSRInstallationsBackoffController> backoffController_;
    std::unique_ptr<TSRInstallationsSingleOperationPromiseCache<TSRInstallationsItem>>
        getInstallationPromiseCache_;
    std::unique_ptr<TSRInstallationsSingleOperationPromiseCache<TSRInstallationsItem>> authTokenPromiseCache_;
    std::unique_ptr<TSRInstallationsSingleOperationPromiseCache<TSRInstallationsItem>>
        authTokenForcingRefreshPromiseCache_;
    std::unique_ptr<TSRInstallationsSingleOperationPromiseCache<TSRInstallationsItem>>
        deleteInstallationPromiseCache_;
};
