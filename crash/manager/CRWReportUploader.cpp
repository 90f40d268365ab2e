#include "crash/manager/CRWReportUploader.h"

#include "crash/manager/CRWAnalyticsManager.h"
#include "crash/record/CRWApplication.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/report/CRWProcessReportOperation.h"
#include "crash/report/CRWReportAdapter.h"
#include "crash/report/CRWSymbolResolver.h"
#include "transport/TTRTransport.h"

#include <condition_variable>

namespace {

// Set by the transport's completion; outlives a waiter that gave up.
struct UploadSignal {
    std::mutex mutex;
    std::condition_variable done;
    bool signalled = false;
    void signal() {
        std::lock_guard guard(mutex);
        signalled = true;
        done.notify_all();
    }
};

} // namespace

CRWReportUploader::CRWReportUploader(std::shared_ptr<CRWManagerData> managerData)
    : managerData_(std::move(managerData)) {}

void CRWReportUploader::prepareAndSubmitReport(const std::shared_ptr<CRWInternalReport>& report,
                                               const std::shared_ptr<CRWDataCollectionToken>& token,
                                               bool asUrgent, bool withProcessing) {
    if (!CRWDataCollectionToken::isValid(token)) {
        CRWErrorLog("Data collection disabled and report will not be submitted");
        return;
    }
    if (!report) return;
    CRWApplicationActivity(49152, "Crashwatch Crash Report Processing", [&] {
        if (!asUrgent) {
            managerData_->installIDModel()->regenerateInstallIDIfNeededWithBlock(
                [this](const std::string& installationID, const std::string& authToken) {
                    std::lock_guard guard(identityMutex_);
                    tiid_ = installationID;
                    authToken_ = authToken;
                });
        } else {
            CRWWarningLog(
                "Crashwatch skipped rotating the Install ID during urgent mode because it is run on the main "
                "thread, which can't succeed. This can happen if the app crashed the last run and Crashwatch "
                "is uploading urgently.");
        }
        const std::shared_ptr<CRWFileManager>& fileManager = managerData_->fileManager();
        if (withProcessing) {
            if (!fileManager->moveItemAtPath(report->path(), fileManager->processingPath())) {
                CRWErrorLog("Unable to move report for processing");
                return;
            }
            report->setPath(CRWPathByAppending(fileManager->processingPath(), report->directoryName()));
            CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
            operation.start();
        }
        bool isCrash = report->isCrash();
        if (!fileManager->moveItemAtPath(report->path(), fileManager->preparedPath())) {
            CRWErrorLog("Unable to move report to prepared");
            return;
        }
        std::string prepared = CRWPathByAppending(fileManager->preparedPath(), report->directoryName());
        CRWInfoLog("[Tessera/Crashwatch] Packaged report with id '%@' for submission", report->identifier());
        uploadPackagedReportAtPath(prepared, token, asUrgent);
        if (!isCrash) return;
        if (std::optional<plat::Date> crashed = report->crashedOnDate())
            CRWAnalyticsManager::logCrashWithTimeStamp(crashed->secondsSince1970, managerData_->analytics());
    });
}

void CRWReportUploader::uploadPackagedReportAtPath(const std::string& path,
                                                   const std::shared_ptr<CRWDataCollectionToken>& token,
                                                   bool asUrgent) {
    CRWDebugLog("Submitting report %@", std::string(asUrgent ? "urgently" : "async"));
    if (!CRWDataCollectionToken::isValid(token)) {
        CRWErrorLog("A report upload was requested with an invalid data collection token.");
        return;
    }
    std::string tiid;
    std::string authToken;
    {
        std::lock_guard guard(identityMutex_);
        tiid = tiid_;
        authToken = authToken_;
    }
    auto adapter = std::make_shared<CRWReportAdapter>(path, managerData_->tesseraAppID(),
                                                      managerData_->installIDModel(), tiid, authToken);
    std::shared_ptr<TTREvent> event = managerData_->tesseraTransport()->eventForTransport();
    event->setDataObject(adapter);
    event->setQosTier(4);
    auto signal = std::make_shared<UploadSignal>();
    std::string name = CRWLastPathComponent(path);
    managerData_->tesseraTransport()->sendDataEvent(
        event, [this, signal, path, name, asUrgent](bool written, const std::optional<plat::Error>& error) {
            if (written && !error) {
                CRWInfoLog("Completed report submission with id: %@", name);
                if (asUrgent) signal->signal();
                cleanUpSubmittedReportAtPath(path);
            } else if (written) {
                CRWErrorLog("Failed to send crash report due to TesseraTransport error: %@",
                            error->localizedDescription());
                signal->signal();
            } else {
                CRWErrorLog("Failed to send crash report due to failure writing TesseraTransport event");
                signal->signal();
            }
        });
    if (!asUrgent) return;
    std::unique_lock guard(signal->mutex);
    // A transport that never answers must not hold the launch for good; the folder stays in
    // "prepared" and a later launch sends it.
    if (!signal->done.wait_for(guard, urgentTimeout_, [&] { return signal->signalled; }))
        CRWErrorLog(
            "Timed out waiting for the crash report to be stored; it stays prepared for the next launch");
}

bool CRWReportUploader::cleanUpSubmittedReportAtPath(const std::string& path) {
    if (!managerData_->fileManager()->removeItemAtPath(path)) {
        CRWErrorLog("Unable to remove packaged submission");
        return false;
    }
    return true;
}
