#include "crash/manager/CRWExistingReportManager.h"

#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/OwnFiles.h"

#include <algorithm>

CRWExistingReportManager::CRWExistingReportManager(std::shared_ptr<CRWManagerData> managerData,
                                                   std::shared_ptr<CRWReportUploader> reportUploader)
    : managerData_(std::move(managerData)), reportUploader_(std::move(reportUploader)) {}

void CRWExistingReportManager::removeOnWorkQueue(std::vector<std::string> paths) {
    if (paths.empty()) return;
    std::shared_ptr<CRWFileManager> fileManager = managerData_->fileManager();
    managerData_->operationQueue().addOperation([fileManager, paths] {
        for (const auto& path : paths)
            fileManager->removeItemAtPath(path);
    });
}

void CRWExistingReportManager::collectExistingReports() {
    const std::shared_ptr<CRWFileManager>& fileManager = managerData_->fileManager();
    std::vector<std::shared_ptr<CRWInternalReport>> reports;
    for (const auto& path : fileManager->activePathContents())
        if (auto report = CRWInternalReport::reportWithPath(path)) reports.push_back(report);
    auto newestFirst = [](const std::shared_ptr<CRWInternalReport>& a,
                          const std::shared_ptr<CRWInternalReport>& b) {
        return b->dateCreated() < a->dateCreated();
    };
    std::stable_sort(reports.begin(), reports.end(), newestFirst);
    if (!reports.empty() && managerData_->settings()->metricKitCollectionEnabled() &&
        fileManager->metricKitDiagnosticFileExists())
        fileManager->createEmptyMetricKitFile(reports.front()->path());

    std::vector<std::shared_ptr<CRWInternalReport>> kept;
    std::vector<std::string> empty;
    for (const auto& report : reports) {
        if (report->hasAnyEvents())
            kept.push_back(report);
        else
            empty.push_back(report->path());
    }
    removeOnWorkQueue(std::move(empty));
    newestInternalReport_ = kept.empty() ? nullptr : kept.front();
    if (kept.size() > kMaxUnsentReports) {
        CRWInfoLog(
            "Automatic data collection is disabled. Deleting %lu unsent reports over the limit of %lu to "
            "prevent disk space from filling up. To take action on these reports, call "
            "send/deleteUnsentReports. To turn on automatic data collection, call "
            "setCrashwatchCollectionEnabled with true",
            static_cast<unsigned long>(kept.size() - kMaxUnsentReports),
            static_cast<unsigned long>(kMaxUnsentReports));
    }
    std::vector<std::string> surplus;
    existingUnemptyActiveReportPaths_.clear();
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i < kMaxUnsentReports)
            existingUnemptyActiveReportPaths_.push_back(kept[i]->path());
        else
            surplus.push_back(kept[i]->path());
    }
    removeOnWorkQueue(std::move(surplus));
    processingReportPaths_ = fileManager->processingPathContents();
    preparedReportPaths_ = fileManager->preparedPathContents();
}

std::shared_ptr<TSRCrashwatchReport> CRWExistingReportManager::newestUnsentReport() const {
    if (unsentReportsCount() == 0 || !newestInternalReport_) return nullptr;
    return std::make_shared<TSRCrashwatchReport>(newestInternalReport_);
}

void CRWExistingReportManager::sendUnsentReportsWithToken(
    const std::shared_ptr<CRWDataCollectionToken>& token, bool asUrgent) {
    for (const auto& path : existingUnemptyActiveReportPaths_)
        processExistingActiveReportPath(path, token, asUrgent);
    if (const auto& onDemand = managerData_->onDemandModel())
        for (const auto& path : onDemand->takeStoredActiveReportPaths())
            processExistingActiveReportPath(path, token, asUrgent);
    std::shared_ptr<CRWReportUploader> uploader = reportUploader_;
    std::vector<std::string> processing = processingReportPaths_;
    managerData_->operationQueue().addOperation([uploader, processing, token] {
        for (const auto& path : processing)
            uploader->prepareAndSubmitReport(CRWInternalReport::reportWithPath(path), token, false, false);
    });
    std::vector<std::string> prepared = preparedReportPaths_;
    managerData_->operationQueue().addOperation([uploader, prepared, token] {
        // Sending a report removes its metadata before anything else of it, so a folder without
        // one was sent (or is no report): what another user left in it is not sent again.
        for (const auto& path : prepared) {
            if (plat::paths::entryStatus(path) && CRWInternalReport::reportWithPath(path))
                uploader->uploadPackagedReportAtPath(path, token, false);
        }
    });
}

void CRWExistingReportManager::processExistingActiveReportPath(
    const std::string& path, const std::shared_ptr<CRWDataCollectionToken>& token, bool asUrgent) {
    std::shared_ptr<CRWInternalReport> report = CRWInternalReport::reportWithPath(path);
    if (!report) return;
    if (!report->hasAnyEvents()) {
        removeOnWorkQueue({path});
        return;
    }
    if (asUrgent && CRWDataCollectionToken::isValid(token)) {
        reportUploader_->prepareAndSubmitReport(report, token, true, true);
        return;
    }
    std::shared_ptr<CRWReportUploader> uploader = reportUploader_;
    managerData_->operationQueue().addOperation(
        [uploader, report, token] { uploader->prepareAndSubmitReport(report, token, false, true); });
}

void CRWExistingReportManager::handleOnDemandReportUpload(
    const std::string& path, const std::shared_ptr<CRWDataCollectionToken>& token, bool) {
    std::weak_ptr<CRWExistingReportManager> weakSelf = weak_from_this();
    managerData_->dispatchQueue().async([weakSelf, path, token] {
        if (auto self = weakSelf.lock()) self->processExistingActiveReportPath(path, token, true);
    });
}

void CRWExistingReportManager::deleteUnsentReports() {
    std::vector<std::string> all = existingUnemptyActiveReportPaths_;
    all.insert(all.end(), processingReportPaths_.begin(), processingReportPaths_.end());
    all.insert(all.end(), preparedReportPaths_.begin(), preparedReportPaths_.end());
    removeOnWorkQueue(std::move(all));
}
