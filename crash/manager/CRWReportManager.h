// The crash reporter's start-up, once per launch: collects the reports of earlier runs, sets up
// this run's report folder and crash context, checks the launch marker, and then either fetches
// settings and sends the earlier reports at once (collection enabled; urgently, waiting for each
// upload, when the previous launch failed before its first run-loop turn) or waits until the host
// sends or deletes them or enables collection. Made with std::make_shared.
#pragma once

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
    // Loads the cached settings, so they are in force before start-up begins.
    CRWReportManager(std::shared_ptr<CRWManagerData> managerData,
                     std::shared_ptr<CRWExistingReportManager> existingReportManager,
                     std::shared_ptr<CRWDataCollectionArbiter> dataArbiter);

    // Resolves with true when this run's report and crash context were set up, once the work the
    // collection decision scheduled has drained from the work queue.
    promises::Promise<bool> startWithProfiling();
    // Whether an unsent report exists; only the first call of a run answers, later ones give false.
    promises::Promise<bool> checkForUnsentReports();
    // The newest unsent report once checkForUnsentReports has answered true.
    std::shared_ptr<TSRCrashwatchReport> newestUnsentReport() const { return newestUnsentReport_; }
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

private:
    std::shared_ptr<CRWManagerData> managerData_;
    std::shared_ptr<CRWExistingReportManager> existingReportManager_;
    std::shared_ptr<CRWDataCollectionArbiter> dataArbiter_;
    std::shared_ptr<CRWSettingsManager> settingsManager_;
    CRWLaunchMarkerModel launchMarker_;
    promises::Promise<bool> unsentReportsAvailable_;
    promises::Promise<int> reportActionProvided_;
    promises::Promise<promises::Void> unsentReportsHandled_;
    std::atomic<int> checkForUnsentReportsCalled_{0};
    std::shared_ptr<TSRCrashwatchReport> newestUnsentReport_;
    CRWNotificationManager notificationManager_;
};
