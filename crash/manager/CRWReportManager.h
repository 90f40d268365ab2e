// The crash reporter's start-up, once per launch: collects the reports of earlier runs, sets up
// this run's report folder and crash context, checks the launch marker, and then either fetches
// settings and sends the earlier reports at once (collection enabled; urgently, waiting for each
// upload, when the previous launch failed before its first run-loop turn) or waits until the host
// sends or deletes them or enables collection. Made with std::make_shared.
#pragma once

#include "crash/manager/CRWAnalyticsManager.h"
#include "crash/manager/CRWDataCollectionArbiter.h"
#include "crash/manager/CRWExistingReportManager.h"
#include "crash/manager/CRWManagerData.h"
#include "crash/manager/CRWNotificationManager.h"
#include "crash/manager/CRWSettingsManager.h"
#include "crash/report/CRWLaunchMarkerModel.h"
#include "promises/Promise.h"

#include <atomic>
#include <memory>

enum CRWReportAction : int { CRWReportActionSend = 0, CRWReportActionDelete = 1 };

class CRWReportManager : public std::enable_shared_from_this<CRWReportManager> {
public:
    // Loads the cached settings, so they are in force before start-up begins. Without an analytics
    // manager no analytics listener is registered.
    CRWReportManager(std::shared_ptr<CRWManagerData> managerData,
                     std::shared_ptr<CRWExistingReportManager> existingReportManager,
                     std::shared_ptr<CRWDataCollectionArbiter> dataArbiter,
                     std::shared_ptr<CRWAnalyticsManager> analyticsManager = nullptr);

    // Resolves with true when this run's report and crash context were set up, once the work the
    // collection decision scheduled has drained from the work queue.
    promises::Promise<bool> startWithProfiling();
    // The newest unsent report (none without one), once start-up knows it: at once while collection
    // is disabled, after the uploads were scheduled (then always none) while it is enabled. Only the
    // first call of a run answers; later ones get none.
    promises::Promise<std::shared_ptr<TSRCrashwatchReport>> checkForUnsentReports();
    // The first of these calls decides; both return the promise of that action's work having run.
    promises::Promise<promises::Void> sendUnsentReports();
    promises::Promise<promises::Void> deleteUnsentReports();

    bool validateAppIdentifiers();
    std::shared_ptr<CRWInternalReport> setupCurrentReport(const std::string& executionIdentifier);
    bool startCrashReporterWithProfilingReport(const std::shared_ptr<CRWInternalReport>& report);
    void crashReportingSetupCompleted();
    void beginSettingsWithToken(const std::shared_ptr<CRWDataCollectionToken>& token);
    void beginReportUploadsWithToken(const std::shared_ptr<CRWDataCollectionToken>& token, bool blockingSend);
    promises::Promise<int> waitForReportAction();

    const std::shared_ptr<CRWSettingsManager>& settingsManager() const { return settingsManager_; }

    // Test hook: lets the next call that finds the settings cache expired start a download again.
    static void resetSettingsDownloadForTesting();

private:
    std::shared_ptr<CRWManagerData> managerData_;
    std::shared_ptr<CRWExistingReportManager> existingReportManager_;
    std::shared_ptr<CRWDataCollectionArbiter> dataArbiter_;
    std::shared_ptr<CRWAnalyticsManager> analyticsManager_;
    std::shared_ptr<CRWSettingsManager> settingsManager_;
    CRWLaunchMarkerModel launchMarker_;
    promises::Promise<std::shared_ptr<TSRCrashwatchReport>> unsentReportsAvailable_;
    promises::Promise<int> reportActionProvided_;
    promises::Promise<promises::Void> unsentReportsHandled_;
    std::atomic<int> checkForUnsentReportsCalled_{0};
    CRWNotificationManager notificationManager_;
};
