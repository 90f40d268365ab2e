#include "crash/manager/TSRCrashwatch.h"

#include "core/TSRApp.h"
#include "core/TSRClassRegistry.h"
#include "core/TSRComponent.h"
#include "core/TSRComponentContainer.h"
#include "core/TSRComponentType.h"
#include "core/TSROptions.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/manager/CRWContextManager.h"
#include "crash/record/CRWFileRead.h"
#include "crash/record/CRWHost.h"
#include "crash/record/CRWSDKInfo.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/report/CRWRolloutsPersistenceManager.h"
#include "installations/TSRInstallations.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/log/OSLog.h"
#include "sessions/SessionsDependencies.h"
#include "transport/TTRTransport.h"

#include <atomic>

namespace {
std::atomic<int> instanceCreated{0};

// The rollouts manager writes through the report store's persistence log.
class RolloutsPersistenceBridge final : public CrashwatchRolloutsPersistence {
public:
    explicit RolloutsPersistenceBridge(std::shared_ptr<CRWPersistenceLog> log) : log_(std::move(log)) {}
    void updateRolloutsStateToPersistenceWithRollouts(const plat::Data& rollouts,
                                                      const std::string& reportID) override {
        log_->updateRolloutsStateToPersistenceWithRollouts(rollouts, reportID);
    }
    void debugLogWithMessage(const std::string& message) override { log_->debugLogWithMessage(message); }

private:
    std::shared_ptr<CRWPersistenceLog> log_;
};
} // namespace

TSRProtocol TSRCrashwatchInstanceProviderProtocol() {
    return TSRProtocol::of<TSRCrashwatchInstanceProvider>("TSRCrashwatchInstanceProvider");
}

TSRProtocol TSRRemoteFlagsInteropProtocol() {
    return TSRProtocol::of<TSRRemoteFlagsInterop>("TSRRemoteFlagsInterop");
}

void TSRCrashwatch::registerClass() {
    TSRClass cls;
    cls.name = kTSRCrashwatchClassName;
    cls.protocols = {kTSRLibraryProtocol};
    cls.componentsToRegister = [] { return componentsToRegister(); };
    cls.load = [] {
        TSRApp::registerInternalLibrary(TSRClassRegistry::shared().classNamed(kTSRCrashwatchClassName),
                                        kTSRCrashwatchLibraryName);
        TSRSessionsDependencies::addDependencyWithName(SessionsSubscriberName::Crashwatch);
    };
    TSRClassRegistry::shared().registerClass(std::move(cls));
}

std::vector<std::shared_ptr<TSRComponent>> TSRCrashwatch::componentsToRegister() {
    return {TSRComponent::componentWithProtocol(
        TSRCrashwatchInstanceProviderProtocol(), TSRInstantiationTimingEagerInDefaultApp,
        [](TSRComponentContainer& container, bool* isCacheable) -> std::shared_ptr<TSRComponentInstance> {
            std::shared_ptr<TSRApp> app = container.app();
            if (!app || !app->isDefaultApp()) {
                CRWErrorLog("Crashwatch must be used with the default Tessera app.");
                return nullptr;
            }
            // The container makes each of these here when it has not yet, so creation order does not
            // matter; no component of this program provides analytics or remote configuration.
            auto analytics = container.instanceFor<TSRAnalyticsInterop>(TSRAnalyticsInteropProtocol());
            auto sessions = container.instanceFor<TSRSessionsProvider>(TSRSessionsProviderProtocol());
            auto remoteFlags = container.instanceFor<TSRRemoteFlagsInterop>(TSRRemoteFlagsInteropProtocol());
            std::shared_ptr<TSRInstallations> installations = TSRInstallations::installationsWithApp(*app);
            *isCacheable = true;
            return initWithApp(app, plat::Bundle::main().infoDictionary(), installations, analytics, sessions,
                               remoteFlags);
        })};
}

std::shared_ptr<TSRCrashwatch> TSRCrashwatch::crashwatch() {
    if (!TSRApp::isDefaultAppConfigured()) return nullptr;
    std::shared_ptr<TSRApp> app = TSRApp::defaultApp();
    return std::dynamic_pointer_cast<TSRCrashwatch>(TSRComponentType::instanceForProtocol(
        TSRCrashwatchInstanceProviderProtocol(), app->container().get()));
}

std::shared_ptr<TSRCrashwatch> TSRCrashwatch::initWithApp(
    const std::shared_ptr<TSRApp>& app, plat::Object::Dict appInfo,
    std::shared_ptr<TSRInstallations> installations, std::shared_ptr<TSRAnalyticsInterop> analytics,
    std::shared_ptr<TSRSessionsProvider> sessions, std::shared_ptr<TSRRemoteFlagsInterop> remoteFlags) {
    int expected = 0;
    if (!instanceCreated.compare_exchange_strong(expected, 1)) {
        CRWErrorLog("Cannot instantiate more than one instance of Crashwatch.");
        return nullptr;
    }
    plat::consoleLine("[Tessera/Crashwatch] Version " + CRWSDKVersion());
    CRWDebugLog("[Crashwatch] Running on %@, %@ (%@)", CRWHostModelInfo(), CRWHostOSDisplayVersion(),
                CRWHostOSBuildVersion().value_or(""));

    std::shared_ptr<TSRCrashwatch> self(new TSRCrashwatch());
    std::shared_ptr<TTRTransport> transport = TTRTransport::initWithMappingID("2101", {}, 1002);
    self->fileManager_ = std::make_shared<CRWFileManager>();
    self->tesseraAppID_ = app->options() ? app->options()->tesseraAppID().value_or("") : "";
    self->dataArbiter_ = std::make_shared<CRWDataCollectionArbiter>(app, std::move(appInfo));
    std::shared_ptr<CRWApplicationIdentifierModel> appIDModel = CRWApplicationIdentifierModel::create();
    auto settings = std::make_shared<CRWSettings>(self->fileManager_->settingsDirectoryPath(), appIDModel);
    auto onDemand = std::make_shared<CRWOnDemandModel>(settings, self->fileManager_->activePath());
    std::weak_ptr<CRWDataCollectionArbiter> arbiter = self->dataArbiter_;
    self->managerData_ = std::make_shared<CRWManagerData>(
        self->tesseraAppID_, transport, std::move(installations), self->fileManager_,
        [arbiter] {
            auto strong = arbiter.lock();
            return strong && strong->isCrashwatchCollectionEnabled();
        },
        settings, onDemand, appIDModel, analytics);
    if (sessions) {
        CRWDebugLog("Registering Sessions SDK subscription for session data");
        sessions->registerWithSubscriber(self);
    }
    self->reportUploader_ = std::make_shared<CRWReportUploader>(self->managerData_);
    self->existingReportManager_ =
        std::make_shared<CRWExistingReportManager>(self->managerData_, self->reportUploader_);
    self->analyticsManager_ = std::make_shared<CRWAnalyticsManager>(analytics);
    self->reportManager_ = std::make_shared<CRWReportManager>(
        self->managerData_, self->existingReportManager_, self->dataArbiter_, self->analyticsManager_);

    self->didPreviouslyCrash_ = self->fileManager_->didCrashOnPreviousExecution();
    if (self->didPreviouslyCrash_) self->removePreviouslyCrashedMarker();
    self->startup_ = self->reportManager_->startWithProfiling();
    self->startup_
        .then(plat::DispatchQueue::main(),
              [](const bool& started) {
                  if (!started) CRWErrorLog("Crash reporting could not be initialized");
                  return started;
              })
        .catch_(plat::DispatchQueue::main(), [](const plat::Error& error) {
            CRWErrorLog("Crash reporting failed to initialize with error: %@", error.localizedDescription());
        });
    if (remoteFlags) {
        CRWDebugLog("Registering RemoteFlags SDK subscription for rollouts data");
        auto persistence = CRWRolloutsPersistenceManager::initWithFileManager(
            self->fileManager_, plat::DispatchQueue::serial("com.tessera.CRWRolloutsPersistence"));
        if (persistence) {
            self->remoteFlagsManager_ = std::make_shared<CrashwatchRemoteFlagsManager>(
                remoteFlags, std::make_shared<RolloutsPersistenceBridge>(persistence));
            remoteFlags->registerRolloutsStateSubscriber(
                self, RemoteFlagsConstants::NamespaceTesseraMobilePlatform);
        }
    }
    return self;
}

void TSRCrashwatch::removePreviouslyCrashedMarker() const {
    std::string marker = CRWPathByAppending(fileManager_->rootPath(), "previously-crashed");
    plat::DispatchQueue::global(plat::QoS::Background).async([marker] {
        // The crash records that run could not make, named in its marker.
        for (const std::string& message : CRWLostRecordMessages(marker))
            CRWErrorLog("%@", message);
        // A marker that is not the user's own is left where it is.
        if (auto kept = plat::paths::removeOwn(marker); kept && kept->refused)
            CRWErrorLog("%@; leaving it aside", kept->text);
    });
}

void TSRCrashwatch::processDidCrashDuringPreviousExecution() {
    didPreviouslyCrash_ = fileManager_->didCrashOnPreviousExecution();
    if (didPreviouslyCrash_) removePreviouslyCrashedMarker();
}

void TSRCrashwatch::onSessionChanged(const TSRSessionDetails& session) {
    const std::string sessionId = session.sessionId().value_or("");
    CRWDebugLog("Session ID changed: %@", sessionId);
    managerData_->contextManager()->setAppHealthSessionId(sessionId);
}

void TSRCrashwatch::rolloutsStateDidChange(const RolloutsState& rolloutsState) {
    if (!remoteFlagsManager_) {
        CRWDebugLog("rolloutsStateDidChange gets called without init the rc manager.");
        return;
    }
    remoteFlagsManager_->updateRolloutsState(rolloutsState, managerData_->executionIDModel()->executionID());
}

bool TSRCrashwatch::recordOnDemandException(const CRWOnDemandException& exception) {
    return managerData_->onDemandModel()->recordOnDemandExceptionIfQuota(
        exception, dataArbiter_->isCrashwatchCollectionEnabled(), existingReportManager_);
}

void TSRCrashwatch::checkForUnsentReportsWithCompletion(std::function<void(bool)> completion) {
    checkAndUpdateUnsentReportsWithCompletion([completion](std::shared_ptr<TSRCrashwatchReport> report) {
        if (completion) completion(report != nullptr);
    });
}

void TSRCrashwatch::checkAndUpdateUnsentReportsWithCompletion(
    std::function<void(std::shared_ptr<TSRCrashwatchReport>)> completion) {
    reportManager_->checkForUnsentReports().then(
        plat::DispatchQueue::main(), [completion](const std::shared_ptr<TSRCrashwatchReport>& report) {
            if (completion) completion(report);
        });
}

std::optional<std::string> TSRCrashwatch::developmentPlatformName() const {
    CRWErrorLog("developmentPlatformName is write-only");
    return std::nullopt;
}

std::optional<std::string> TSRCrashwatch::developmentPlatformVersion() const {
    CRWErrorLog("developmentPlatformVersion is write-only");
    return std::nullopt;
}

void TSRCrashwatch::log(const std::string& message) {
    CRWLog("%@", message);
}

void TSRCrashwatch::setUserID(const std::string& userID) {
    CRWUserLoggingRecordInternalKeyValue("com.crashwatch.user-id", userID);
}

void TSRCrashwatch::setCustomValue(const plat::Object& value, const std::string& key) {
    CRWUserLoggingRecordUserKeyValue(key, value);
}

void TSRCrashwatch::setCustomKeysAndValues(const plat::Object::Dict& keysAndValues) {
    CRWUserLoggingRecordUserKeysAndValues(keysAndValues);
}

void TSRCrashwatch::recordError(const plat::Error& error, const plat::Object::Dict* userInfo) {
    std::optional<std::string> rollouts =
        remoteFlagsManager_ ? remoteFlagsManager_->getRolloutAssignmentsEncodedJsonString() : std::nullopt;
    CRWUserLoggingRecordError(error, userInfo, rollouts ? rollouts->c_str() : nullptr);
}

void TSRCrashwatch::recordExceptionModel(const TSRExceptionModel& model) {
    std::optional<std::string> rollouts =
        remoteFlagsManager_ ? remoteFlagsManager_->getRolloutAssignmentsEncodedJsonString() : std::nullopt;
    CRWExceptionRecordModel(model, rollouts ? rollouts->c_str() : nullptr);
}

void TSRCrashwatch::setDevelopmentPlatformName(const std::string& name) {
    CRWUserLoggingRecordInternalKeyValue("com.crashwatch.development-platform-name", name);
}

void TSRCrashwatch::setDevelopmentPlatformVersion(const std::string& version) {
    CRWUserLoggingRecordInternalKeyValue("com.crashwatch.development-platform-version", version);
}

void TSRCrashwatch::resetInstanceForTesting() {
    instanceCreated = 0;
}
