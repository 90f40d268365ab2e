// The crash reporter's component: made by the app core's container when the default app is
// configured, it wires the crash-reporting services together and starts the report manager, so
// that this run's crashes are recorded and earlier runs' reports are sent. At most one exists per
// process. It is also the sessions component's crash subscriber: it subscribes when it is made,
// each new session id goes into this run's report metadata, and sessions ask it whether crash data
// is collected before they send a session event.
#pragma once

#include "core/TSRProtocol.h"
#include "crash/manager/CRWAnalyticsManager.h"
#include "crash/manager/CRWDataCollectionArbiter.h"
#include "crash/manager/CRWExistingReportManager.h"
#include "crash/manager/CRWOnDemandModel.h"
#include "crash/manager/CRWReportManager.h"
#include "crash/manager/CrashwatchRemoteFlagsManager.h"
#include "crash/report/TSRExceptionModel.h"
#include "sessions/SessionsSubscriber.h"

#include <memory>
#include <string>

class TSRApp;
class TSRInstallations;
class TSRComponent;

inline constexpr const char* kTSRCrashwatchClassName = "TSRCrashwatch";
inline constexpr const char* kTSRCrashwatchLibraryName = "tessera-crashwatch";

class TSRCrashwatchInstanceProvider : public virtual TSRComponentInstance {};
TSRProtocol TSRCrashwatchInstanceProviderProtocol();
// The protocol a remote-configuration component is looked up under: "TSRRemoteFlagsInterop".
TSRProtocol TSRRemoteFlagsInteropProtocol();

class TSRCrashwatch : public TSRCrashwatchInstanceProvider,
                      public TSRSessionsSubscriber,
                      public TSRRolloutsStateSubscriber {
public:
    // Makes the class known to the class registry; its load hook registers the library and declares
    // the crash subscriber to the sessions component, which then waits for it before sending.
    static void registerClass();
    static std::vector<std::shared_ptr<TSRComponent>> componentsToRegister();
    // The default app's instance; none before the app is configured.
    static std::shared_ptr<TSRCrashwatch> crashwatch();
    // Wires the services, subscribes to `sessions` when there is one, starts the report manager and,
    // with a remote-configuration component, subscribes to its rollouts; none for a second instance.
    // `analytics`, `sessions` and `remoteFlags` may each be null.
    static std::shared_ptr<TSRCrashwatch>
    initWithApp(const std::shared_ptr<TSRApp>& app, plat::Object::Dict appInfo,
                std::shared_ptr<TSRInstallations> installations,
                std::shared_ptr<TSRAnalyticsInterop> analytics = nullptr,
                std::shared_ptr<TSRSessionsProvider> sessions = nullptr,
                std::shared_ptr<TSRRemoteFlagsInterop> remoteFlags = nullptr);

    // Sessions subscriber: the new session id goes into this run's report metadata (none clears it).
    void onSessionChanged(const TSRSessionDetails& session) override;
    bool isDataCollectionEnabled() const override { return dataArbiter_->isCrashwatchCollectionEnabled(); }
    SessionsSubscriberName sessionsSubscriberName() const override {
        return SessionsSubscriberName::Crashwatch;
    }

    void rolloutsStateDidChange(const RolloutsState& rolloutsState) override;

    // The crash log, keys and errors of this run's report (kept once the crash context is up).
    void log(const std::string& message);
    void setUserID(const std::string& userID);
    void setCustomValue(const plat::Object& value, const std::string& key);
    void setCustomKeysAndValues(const plat::Object::Dict& keysAndValues);
    void recordError(const plat::Error& error, const plat::Object::Dict* userInfo = nullptr);
    // A custom exception of the host's, into this run's custom-exception store with the rollouts
    // this run is in (none without a rollouts manager).
    void recordExceptionModel(const TSRExceptionModel& model);
    void setDevelopmentPlatformName(const std::string& name);
    void setDevelopmentPlatformVersion(const std::string& version);

    bool didCrashDuringPreviousExecution() const { return didPreviouslyCrash_; }
    // Reads the crashed marker again; when it is there, removes it in the background.
    void processDidCrashDuringPreviousExecution();
    void setCrashwatchCollectionEnabled(bool enabled) {
        dataArbiter_->setCrashwatchCollectionEnabled(enabled);
    }
    bool isCrashwatchCollectionEnabled() const { return dataArbiter_->isCrashwatchCollectionEnabled(); }
    bool recordOnDemandException(const CRWOnDemandException& exception);
    // Both answer on the main queue from the same one-per-run check (a second check answers
    // false / none): whether an unsent report exists, and the newest one.
    void checkForUnsentReportsWithCompletion(std::function<void(bool)> completion);
    void checkAndUpdateUnsentReportsWithCompletion(
        std::function<void(std::shared_ptr<TSRCrashwatchReport>)> completion);
    void sendUnsentReports() { reportManager_->sendUnsentReports(); }
    void deleteUnsentReports() { reportManager_->deleteUnsentReports(); }
    // Write-only: logs and answers none.
    std::optional<std::string> developmentPlatformName() const;
    std::optional<std::string> developmentPlatformVersion() const;

    // The start-up promise (true once this run's crash capture is up and earlier reports handled).
    const promises::Promise<bool>& startup() const { return startup_; }
    const std::shared_ptr<CRWManagerData>& managerData() const { return managerData_; }
    const std::shared_ptr<CRWAnalyticsManager>& analyticsManager() const { return analyticsManager_; }
    const std::shared_ptr<CrashwatchRemoteFlagsManager>& remoteFlagsManager() const {
        return remoteFlagsManager_;
    }

    // Test hook: lets a new instance be made in this process.
    static void resetInstanceForTesting();

private:
    TSRCrashwatch() = default;
    // Removes the crashed marker on a background queue; the flag keeps its value.
    void removePreviouslyCrashedMarker() const;

    std::atomic<bool> didPreviouslyCrash_{false};
    std::string tesseraAppID_;
    std::shared_ptr<CRWDataCollectionArbiter> dataArbiter_;
    std::shared_ptr<CRWFileManager> fileManager_;
    std::shared_ptr<CRWReportManager> reportManager_;
    std::shared_ptr<CRWReportUploader> reportUploader_;
    std::shared_ptr<CRWExistingReportManager> existingReportManager_;
    std::shared_ptr<CRWAnalyticsManager> analyticsManager_;
    std::shared_ptr<CrashwatchRemoteFlagsManager> remoteFlagsManager_;
    std::shared_ptr<CRWManagerData> managerData_;
    promises::Promise<bool> startup_;
};
