#include "crash/manager/CRWOnDemandModel.h"

#include "crash/record/CRWApplication.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/OwnFiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

CRWOnDemandModel::CRWOnDemandModel(std::shared_ptr<CRWSettings> settings, std::string activePath)
    : settings_(std::move(settings)), activePath_(std::move(activePath)),
      operationQueue_(CRWApplicationGetSDKBundleID() + ".on-demand-queue"),
      lastUpdated_(CRWSettings::currentTimestamp()),
      sleeper_([](int seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); }) {
    operationQueue_.setMaxConcurrentOperationCount(1);
}

CRWOnDemandModel::~CRWOnDemandModel() {
    // Steps still waiting would run against a model that is gone.
    operationQueue_.cancelAll();
    operationQueue_.waitUntilAllOperationsAreFinished();
}

double CRWOnDemandModel::now() {
    return clock_ ? clock_() : CRWSettings::currentTimestamp();
}

bool CRWOnDemandModel::recordOnDemandExceptionIfQuota(
    const CRWOnDemandException& exception, bool dataCollectionEnabled,
    std::shared_ptr<CRWOnDemandReportUploader> existingReportManager) {
    std::lock_guard guard(lock_);
    if (isQueueFull()) {
        CRWDebugLog("No available on-demand quota, dropping report");
        ++droppedOnDemandExceptionCount_;
        ++recordedOnDemandExceptionCount_;
        return false;
    }
    std::shared_ptr<CRWDataCollectionToken> token = CRWDataCollectionToken::validToken();
    std::optional<std::string> path = recordOnDemandExceptionWithModel(exception);
    if (!path) {
        CRWErrorLog("Error recording on-demand exception");
        return false;
    }
    ++queuedOperationsCount_;
    ++recordedOnDemandExceptionCount_;
    droppedOnDemandExceptionCount_ = 0;
    operationQueue_.addOperation(
        [this, reportPath = *path, dataCollectionEnabled, token, existingReportManager] {
            runQueuedStep(reportPath, dataCollectionEnabled, token, existingReportManager);
        });
    return true;
}

std::optional<std::string>
CRWOnDemandModel::recordOnDemandExceptionWithModel(const CRWOnDemandException& exception) {
    return CRWExceptionRecordOnDemand(4, exception.name, exception.reason, exception.stackTrace,
                                      exception.isFatal, recordedOnDemandExceptionCount_,
                                      droppedOnDemandExceptionCount_, activePath_);
}

void CRWOnDemandModel::runQueuedStep(const std::string& path, bool dataCollectionEnabled,
                                     const std::shared_ptr<CRWDataCollectionToken>& token,
                                     const std::shared_ptr<CRWOnDemandReportUploader>& uploader) {
    double delay = calculateUploadDelay();
    if (dataCollectionEnabled) {
        if (uploader) uploader->handleOnDemandReportUpload(path, token, true);
        CRWDebugLog("Submitted an on-demand exception, starting delay %.20f", delay);
    } else {
        std::string dropped;
        {
            std::lock_guard guard(lock_);
            storedActiveReportPaths_.insert(storedActiveReportPaths_.begin(), path);
            if (storedActiveReportPaths_.size() > kMaxStoredActiveReports) {
                dropped = storedActiveReportPaths_.back();
                storedActiveReportPaths_.pop_back();
                if (recordedOnDemandExceptionCount_ > 0) --recordedOnDemandExceptionCount_;
                ++droppedOnDemandExceptionCount_;
            }
        }
        if (!dropped.empty()) {
            // A report folder holding anything that is not the user's own is left as it is.
            if (auto kept = plat::paths::removeOwn(dropped, true); kept && kept->refused)
                CRWErrorLog("%@; leaving it aside", kept->text);
        }
        CRWDebugLog("Stored an on-demand exception, starting delay %.20f", delay);
    }
    implementOnDemandUploadDelay(static_cast<int>(delay));
    decrementQueuedOperationCount();
}

double CRWOnDemandModel::calculateStepDuration() {
    std::lock_guard guard(lock_);
    bool queueFull = isQueueFull();
    double current = now();
    if (currentStep_ == -1.0) {
        currentStep_ = 0;
        lastUpdated_ = current;
    }
    double stepDuration = settings_->onDemandBackoffStepDuration();
    // A step duration of 0 would make every moment infinitely many steps.
    double elapsed = stepDuration > 0 ? (current - lastUpdated_) / stepDuration : 0;
    double step = queueFull ? std::min(currentStep_ + elapsed, 100.0) : std::max(currentStep_ - elapsed, 0.0);
    if (step != currentStep_) {
        currentStep_ = step;
        lastUpdated_ = current;
    }
    return step;
}

double CRWOnDemandModel::calculateUploadDelay() {
    double step = calculateStepDuration();
    double rate = settings_->onDemandUploadRate();
    double delay = std::pow(settings_->onDemandBackoffBase(), step) * 60.0 / rate;
    // Hostile settings (a rate of 0 or below, a huge base) must not stall the queue for good.
    if (!(delay >= 0)) return 3600;
    return std::min(delay, 3600.0);
}

void CRWOnDemandModel::implementOnDemandUploadDelay(int seconds) {
    if (seconds > 0) sleeper_(seconds);
}

bool CRWOnDemandModel::isQueueFull() {
    std::lock_guard guard(lock_);
    return queuedOperationsCount_ >= settings_->onDemandUploadRate();
}

uint32_t CRWOnDemandModel::recordedOnDemandExceptionCount() {
    std::lock_guard guard(lock_);
    return recordedOnDemandExceptionCount_;
}
uint32_t CRWOnDemandModel::droppedOnDemandExceptionCount() {
    std::lock_guard guard(lock_);
    return droppedOnDemandExceptionCount_;
}
uint32_t CRWOnDemandModel::getQueuedOperationsCount() {
    std::lock_guard guard(lock_);
    return queuedOperationsCount_;
}
void CRWOnDemandModel::incrementRecordedOnDemandExceptionCount() {
    std::lock_guard guard(lock_);
    ++recordedOnDemandExceptionCount_;
}
void CRWOnDemandModel::incrementDroppedOnDemandExceptionCount() {
    std::lock_guard guard(lock_);
    ++droppedOnDemandExceptionCount_;
}
void CRWOnDemandModel::decrementRecordedOnDemandExceptionCount() {
    std::lock_guard guard(lock_);
    if (recordedOnDemandExceptionCount_ > 0) --recordedOnDemandExceptionCount_;
}
void CRWOnDemandModel::resetDroppedExceptionCount() {
    std::lock_guard guard(lock_);
    droppedOnDemandExceptionCount_ = 0;
}
void CRWOnDemandModel::incrementQueuedOperationCount() {
    std::lock_guard guard(lock_);
    ++queuedOperationsCount_;
}
void CRWOnDemandModel::decrementQueuedOperationCount() {
    std::lock_guard guard(lock_);
    if (queuedOperationsCount_ > 0) --queuedOperationsCount_;
}

std::vector<std::string> CRWOnDemandModel::takeStoredActiveReportPaths() {
    std::lock_guard guard(lock_);
    std::vector<std::string> paths;
    paths.swap(storedActiveReportPaths_);
    return paths;
}

std::vector<std::string> CRWOnDemandModel::storedActiveReportPaths() {
    std::lock_guard guard(lock_);
    return storedActiveReportPaths_;
}

void CRWOnDemandModel::setClockForTesting(std::function<double()> now) {
    std::lock_guard guard(lock_);
    clock_ = std::move(now);
}

void CRWOnDemandModel::setSleeperForTesting(std::function<void(int seconds)> sleeper) {
    std::lock_guard guard(lock_);
    sleeper_ = std::move(sleeper);
}

void CRWOnDemandModel::waitUntilIdleForTesting() {
    operationQueue_.waitUntilAllOperationsAreFinished();
}
