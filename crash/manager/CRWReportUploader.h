// Takes one report folder through processing and packaging to the transport: active ->
// processing (symbolicated) -> prepared -> sent as a tier-4 event of the crash-report transport
// -> removed once the transport has stored the event. A folder whose step fails stays where it is
// and is resumed at a later launch. Used on the work queue, or on the caller's thread when urgent.
#pragma once

#include "crash/manager/CRWDataCollectionToken.h"
#include "crash/manager/CRWManagerData.h"
#include "crash/report/CRWInternalReport.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

class CRWReportUploader {
public:
    // How long an urgent upload waits for the transport before leaving the report prepared.
    static constexpr std::chrono::seconds kUrgentUploadTimeout{60};

    explicit CRWReportUploader(std::shared_ptr<CRWManagerData> managerData);

    // Processes (when `withProcessing`), moves to "prepared" and uploads the report. Urgent skips
    // the install-id rotation (it waits on the main queue) and waits for the transport.
    void prepareAndSubmitReport(const std::shared_ptr<CRWInternalReport>& report,
                                const std::shared_ptr<CRWDataCollectionToken>& token, bool asUrgent,
                                bool withProcessing);
    // Sends the prepared folder as an event; urgent waits (at most kUrgentUploadTimeout) until
    // the transport has stored it.
    void uploadPackagedReportAtPath(const std::string& path,
                                    const std::shared_ptr<CRWDataCollectionToken>& token, bool asUrgent);
    bool cleanUpSubmittedReportAtPath(const std::string& path);

    // Test hook: the urgent wait.
    void setUrgentTimeoutForTesting(std::chrono::milliseconds timeout) { urgentTimeout_ = timeout; }

private:
    std::shared_ptr<CRWManagerData> managerData_;
    std::mutex identityMutex_;
    std::string tiid_;
    std::string authToken_;
    std::chrono::milliseconds urgentTimeout_ = kUrgentUploadTimeout;
};
