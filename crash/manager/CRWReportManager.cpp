#include "crash/manager/CRWReportManager.h"

#include "crash/capture/CRWCaptureStartup.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/manager/CRWContextManager.h"
#include "crash/record/CRWApplication.h"
#include "crash/record/CRWSharedLog.h"
#include "promises/PromiseCombinators.h"

#include <atomic>

using promises::Promise;
using promises::Void;

namespace {
// A download starts at most once per process, and only when a call found the cache expired.
std::atomic<bool> settingsDownloadStarted{false};
} // namespace

CRWReportManager::CRWReportManager(std::shared_ptr<CRWManagerData> managerData,
                                   std::shared_ptr<CRWExistingReportManager> existingReportManager,
                                   std::shared_ptr<CRWDataCollectionArbiter> dataArbiter,
                                   std::shared_ptr<CRWAnalyticsManager> analyticsManager)
    : managerData_(std::move(managerData)), existingReportManager_(std::move(existingReportManager)),
      dataArbiter_(std::move(dataArbiter)), analyticsManager_(std::move(analyticsManager)),
      launchMarker_(managerData_->fileManager()) {
    std::shared_ptr<CRWInstallIdentifierModel> installIDModel = managerData_->installIDModel();
    if (managerData_->appIDModel())
        settingsManager_ = std::make_shared<CRWSettingsManager>(
            managerData_->appIDModel(), [installIDModel] { return installIDModel->installID(); },
            managerData_->settings(), managerData_->tesseraAppID());
    managerData_->settings()->reloadFromCacheWithTesseraAppID(managerData_->tesseraAppID(),
                                                              CRWSettings::currentTimestamp());
}

bool CRWReportManager::validateAppIdentifiers() {
    if (!managerData_->appIDModel()) {
        CRWErrorLog(
            "Crashwatch could not find the symbol for the app's main function and cannot start up. This can "
            "be resolved in the following ways: 1. Ensure the symbol __mh_execute_header is in an exported "
            "symbols file. 2. Remove the -exported_symbols_list linker flag.");
        return false;
    }
    if (managerData_->appIDModel()->bundleID().empty()) {
        CRWErrorLog("An application must have a valid bundle identifier in its Info.plist");
        return false;
    }
    if (dataArbiter_->isLegacyDataCollectionKeyInPlist()) {
        CRWErrorLog(
            "Found legacy data collection key in app's Info.plist: tessera_crashwatch_collection_enabled");
        CRWErrorLog("Please update your Info.plist to use the new data collection key: "
                    "TesseraCrashwatchCollectionEnabled");
        CRWErrorLog("The legacy data collection Info.plist value could be overridden by calling: "
                    "[CrashwatchLegacy with:...]");
        CRWErrorLog("The new value can be overridden by calling: [[TSRCrashwatch crashwatch] "
                    "setCrashwatchCollectionEnabled:<isEnabled>]");
        return false;
    }
    return true;
}

std::shared_ptr<CRWInternalReport>
CRWReportManager::setupCurrentReport(const std::string& executionIdentifier) {
    launchMarker_.createLaunchFailureMarker();
    std::optional<std::string> path =
        managerData_->fileManager()->setupNewPathForExecutionIdentifier(executionIdentifier);
    std::shared_ptr<CRWInternalReport> report =
        path ? CRWInternalReport::initWithPath(*path, executionIdentifier) : nullptr;
    if (!report) CRWErrorLog("Unable to setup a new report");
    return report;
}

bool CRWReportManager::startCrashReporterWithProfilingReport(
    const std::shared_ptr<CRWInternalReport>& report) {
    if (!report) return false;
    if (!managerData_->contextManager()->setupContextWithReport(report, managerData_->settings(),
                                                                managerData_->fileManager()))
        return false;
    notificationManager_.registerNotificationListener();
    if (analyticsManager_) analyticsManager_->registerAnalyticsListener();
    crashReportingSetupCompleted();
    return true;
}

void CRWReportManager::crashReportingSetupCompleted() {
    plat::DispatchQueue::main().asyncAfter(plat::durationFromSeconds(2.0), [] {
        CRWExceptionCheckHandlers();
        CRWSignalCheckHandlers();
        CRWMachExceptionCheckHandlers();
    });
    CRWLaunchMarkerModel marker = launchMarker_;
    plat::DispatchQueue::main().async([marker] {
        marker.removeLaunchFailureMarker();
        CRWUserLoggingWriteInternalKeyValue("com.crashwatch.first-run-loop-time", std::string());
    });
}

void CRWReportManager::beginSettingsWithToken(const std::shared_ptr<CRWDataCollectionToken>& token) {
    if (!settingsManager_ || !managerData_->settings()->isCacheExpired()) return;
    std::shared_ptr<CRWSettingsManager> manager = settingsManager_;
    std::string appID = managerData_->tesseraAppID();
    bool expected = false;
    if (settingsDownloadStarted.compare_exchange_strong(expected, true))
        manager->beginSettingsWithTesseraAppId(appID, token);
}

void CRWReportManager::resetSettingsDownloadForTesting() {
    settingsDownloadStarted = false;
}

void CRWReportManager::beginReportUploadsWithToken(const std::shared_ptr<CRWDataCollectionToken>& token,
                                                   bool blockingSend) {
    if (managerData_->settings()->collectReportsEnabled()) {
        existingReportManager_->sendUnsentReportsWithToken(token, blockingSend);
    } else {
        CRWInfoLog("Collect crash reports is disabled");
        existingReportManager_->deleteUnsentReports();
    }
}

Promise<int> CRWReportManager::waitForReportAction() {
    unsentReportsAvailable_.fulfill(existingReportManager_->newestUnsentReport());
    Promise<int> sendWhenEnabled = dataArbiter_->waitForCrashwatchCollectionEnabled().then(
        managerData_->dispatchQueue(), [](const Void&) { return static_cast<int>(CRWReportActionSend); });
    return promises::race(managerData_->dispatchQueue(), {sendWhenEnabled, reportActionProvided_});
}

Promise<bool> CRWReportManager::startWithProfiling() {
    std::string executionID = managerData_->executionIDModel()->executionID();
    existingReportManager_->collectExistingReports();
    if (!validateAppIdentifiers()) return Promise<bool>(false);
    if (!managerData_->fileManager()->createReportDirectories()) return Promise<bool>(false);
    bool launchFailure = launchMarker_.checkForAndCreateLaunchMarker();
    std::shared_ptr<CRWInternalReport> report = setupCurrentReport(executionID);
    if (report && !startCrashReporterWithProfilingReport(report)) {
        CRWErrorLog("Unable to start crash reporter");
        report = nullptr;
    }
    bool reportReady = report != nullptr;
    std::shared_ptr<CRWReportManager> self = shared_from_this();
    Promise<bool> decided;
    if (dataArbiter_->isCrashwatchCollectionEnabled()) {
        CRWDebugLog("Automatic data collection is enabled.");
        CRWDebugLog("Unsent reports will be uploaded at startup");
        std::shared_ptr<CRWDataCollectionToken> token = CRWDataCollectionToken::validToken();
        beginSettingsWithToken(token);
        decided = Promise<Void>(Void{}).then(managerData_->dispatchQueue(),
                                             [self, token, launchFailure, reportReady] {
                                                 self->beginReportUploadsWithToken(token, launchFailure);
                                                 self->unsentReportsAvailable_.fulfill(nullptr);
                                                 return reportReady;
                                             });
    } else {
        CRWDebugLog("Automatic data collection is disabled.");
        CRWDebugLog(
            "[Crashwatch:Crash] %d unsent reports are available. Waiting for send/deleteUnsentReports to be "
            "called.",
            static_cast<int>(existingReportManager_->unsentReportsCount()));
        decided =
            waitForReportAction().then(managerData_->dispatchQueue(), [self, reportReady](const int& action) {
                if (action == CRWReportActionDelete) {
                    CRWDebugLog("Deleting unsent reports.");
                    self->existingReportManager_->deleteUnsentReports();
                } else if (action == CRWReportActionSend) {
                    CRWDebugLog("Sending unsent reports.");
                    std::shared_ptr<CRWDataCollectionToken> token = CRWDataCollectionToken::validToken();
                    self->beginSettingsWithToken(token);
                    self->beginReportUploadsWithToken(token, false);
                } else {
                    CRWErrorLog("Unknown report action: %d", action);
                }
                return reportReady;
            });
    }
    if (reportReady) CRWUserLoggingWriteInternalKeyValue("com.crashwatch.kit-start-time", std::string());

    plat::OperationQueue workQueue = managerData_->operationQueue();
    Promise<Void> handled = unsentReportsHandled_;
    return decided.then(managerData_->dispatchQueue(), [workQueue, handled](const bool& value) mutable {
        // Everything the decision scheduled is on the work queue already; this runs after it.
        Promise<Void> drained;
        workQueue.addOperation([drained] { drained.fulfill(Void{}); });
        return drained.then(plat::DispatchQueue::main(), [handled, value](const Void&) {
            handled.fulfill(Void{});
            return value;
        });
    });
}

Promise<std::shared_ptr<TSRCrashwatchReport>> CRWReportManager::checkForUnsentReports() {
    int expected = 0;
    if (checkForUnsentReportsCalled_.compare_exchange_strong(expected, 1)) return unsentReportsAvailable_;
    CRWErrorLog(
        "Either checkForUnsentReports or checkAndUpdateUnsentReports should be called once per execution.");
    return Promise<std::shared_ptr<TSRCrashwatchReport>>(std::shared_ptr<TSRCrashwatchReport>());
}

Promise<Void> CRWReportManager::sendUnsentReports() {
    if (reportActionProvided_.isPending()) reportActionProvided_.fulfill(CRWReportActionSend);
    return unsentReportsHandled_;
}

Promise<Void> CRWReportManager::deleteUnsentReports() {
    if (reportActionProvided_.isPending()) reportActionProvided_.fulfill(CRWReportActionDelete);
    return unsentReportsHandled_;
}
