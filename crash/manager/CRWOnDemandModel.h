// On-demand exceptions: the host records an exception as a report of its own while the
// application keeps running, and their uploads are throttled: at most `onDemandUploadRate`
// recordings wait at once (more are dropped and counted), and each upload is followed by a delay
// that grows while the queue stays full and decays while it does not. With collection disabled
// the reports are kept (the newest four) for the next explicit send. Thread-safe: the counters
// are changed under the model's lock; uploads run one at a time on the on-demand queue.
#pragma once

#include "crash/capture/CRWException.h"
#include "crash/manager/CRWDataCollectionToken.h"
#include "crash/manager/CRWSettings.h"
#include "platform/dispatch/OperationQueue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Takes an on-demand report to the transport (the existing-report manager).
class CRWOnDemandReportUploader {
public:
    virtual ~CRWOnDemandReportUploader() = default;
    virtual void handleOnDemandReportUpload(const std::string& path,
                                            const std::shared_ptr<CRWDataCollectionToken>& token,
                                            bool asUrgent) = 0;
};

// One exception to record on demand.
struct CRWOnDemandException {
    std::string name;
    std::string reason;
    std::vector<CRWStackFrame> stackTrace;
    bool isFatal = false;
};

class CRWOnDemandModel {
public:
    static constexpr size_t kMaxStoredActiveReports = 4;

    // New reports go under `activePath` (the file manager's folder of active reports).
    CRWOnDemandModel(std::shared_ptr<CRWSettings> settings, std::string activePath);
    ~CRWOnDemandModel();

    // Records the exception as its own report when the queue has room and queues its upload (or,
    // with collection disabled, keeps it). True when it was recorded.
    bool recordOnDemandExceptionIfQuota(const CRWOnDemandException& exception, bool dataCollectionEnabled,
                                        std::shared_ptr<CRWOnDemandReportUploader> existingReportManager);
    // Writes the report; its folder's path, or none.
    std::optional<std::string> recordOnDemandExceptionWithModel(const CRWOnDemandException& exception);

    // Seconds: onDemandBackoffBase ^ step x 60 / onDemandUploadRate, within 0 and 3600.
    double calculateUploadDelay();
    // The back-off step after the time passed since it last changed (0 to 100).
    double calculateStepDuration();
    void implementOnDemandUploadDelay(int seconds);
    bool isQueueFull();

    uint32_t recordedOnDemandExceptionCount();
    uint32_t droppedOnDemandExceptionCount();
    uint32_t getQueuedOperationsCount();
    void incrementRecordedOnDemandExceptionCount();
    void incrementDroppedOnDemandExceptionCount();
    void decrementRecordedOnDemandExceptionCount();
    void resetDroppedExceptionCount();
    void incrementQueuedOperationCount();
    void decrementQueuedOperationCount();

    // The reports kept while collection was disabled, newest first; the caller that sends them
    // takes them (the list is emptied).
    std::vector<std::string> takeStoredActiveReportPaths();
    std::vector<std::string> storedActiveReportPaths();

    // Test hooks: the clock (seconds since 2001-01-01) and the sleep after each upload.
    void setClockForTesting(std::function<double()> now);
    void setSleeperForTesting(std::function<void(int seconds)> sleeper);
    // Waits until every queued upload step has run.
    void waitUntilIdleForTesting();

private:
    void runQueuedStep(const std::string& path, bool dataCollectionEnabled,
                       const std::shared_ptr<CRWDataCollectionToken>& token,
                       const std::shared_ptr<CRWOnDemandReportUploader>& uploader);
    double now();

    std::recursive_mutex lock_;
    uint32_t recordedOnDemandExceptionCount_ = 0;
    uint32_t droppedOnDemandExceptionCount_ = 0;
    uint32_t queuedOperationsCount_ = 0;
    std::shared_ptr<CRWSettings> settings_;
    std::string activePath_;
    plat::OperationQueue operationQueue_;
    double lastUpdated_;
    double currentStep_ = -1.0;
    std::vector<std::string> storedActiveReportPaths_;
    std::function<double()> clock_;
    std::function<void(int)> sleeper_;
};
