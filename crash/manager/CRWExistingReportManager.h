// The reports earlier runs left: found at launch (empty ones and all but the newest four with
// events are deleted), counted, and sent or deleted when told. Sends and deletions run as
// operations of the work queue in the order they were added; an urgent send runs on the caller's
// thread. The path lists are filled once per launch.
#pragma once

#include "crash/manager/CRWManagerData.h"
#include "crash/manager/CRWOnDemandModel.h"
#include "crash/manager/CRWReportUploader.h"
#include "crash/report/TSRCrashwatchReport.h"

#include <memory>
#include <string>
#include <vector>

class CRWExistingReportManager : public CRWOnDemandReportUploader,
                                 public std::enable_shared_from_this<CRWExistingReportManager> {
public:
    static constexpr size_t kMaxUnsentReports = 4;

    CRWExistingReportManager(std::shared_ptr<CRWManagerData> managerData,
                             std::shared_ptr<CRWReportUploader> reportUploader);

    void collectExistingReports();
    size_t unsentReportsCount() const { return existingUnemptyActiveReportPaths_.size(); }
    // The newest kept report; none without one.
    std::shared_ptr<TSRCrashwatchReport> newestUnsentReport() const;

    void sendUnsentReportsWithToken(const std::shared_ptr<CRWDataCollectionToken>& token, bool asUrgent);
    void processExistingActiveReportPath(const std::string& path,
                                         const std::shared_ptr<CRWDataCollectionToken>& token, bool asUrgent);
    void handleOnDemandReportUpload(const std::string& path,
                                    const std::shared_ptr<CRWDataCollectionToken>& token,
                                    bool asUrgent) override;
    // Removes every collected folder (active, processing and prepared) on the work queue.
    void deleteUnsentReports();

    const std::vector<std::string>& existingUnemptyActiveReportPaths() const {
        return existingUnemptyActiveReportPaths_;
    }
    const std::vector<std::string>& processingReportPaths() const { return processingReportPaths_; }
    const std::vector<std::string>& preparedReportPaths() const { return preparedReportPaths_; }

private:
    void removeOnWorkQueue(std::vector<std::string> paths);

    std::shared_ptr<CRWManagerData> managerData_;
    std::shared_ptr<CRWReportUploader> reportUploader_;
    std::vector<std::string> existingUnemptyActiveReportPaths_;
    std::vector<std::string> processingReportPaths_;
    std::vector<std::string> preparedReportPaths_;
    std::shared_ptr<CRWInternalReport> newestInternalReport_;
};
