#include "installations/TSRInstallationsBackoffController.h"

#include "platform/security/SecureRandom.h"

#include <algorithm>
#include <cmath>

TSRInstallationsBackoffController::DateProvider
TSRInstallationsBackoffController::TSRRealCurrentDateProvider() {
    return [] { return plat::Date::now(); };
}

TSRInstallationsBackoffController::TSRInstallationsBackoffController(DateProvider currentDateProvider,
                                                                     JitterProvider jitter)
    : currentDateProvider_(std::move(currentDateProvider)), jitter_(std::move(jitter)) {
    if (!jitter_) jitter_ = [] { return static_cast<int>(plat::randomUniform(1000)); };
}

double TSRInstallationsBackoffController::backoffTimeInterval(TSRInstallationsBackoffEvent type,
                                                              int64_t count, int jitterMilliseconds) {
    switch (type) {
    case TSRInstallationsBackoffEventSuccess:
        return 0;
    case TSRInstallationsBackoffEventRecoverableFailure: {
        // Past 2^11 the cap holds anyway; the clamp keeps the power finite for absurd counts.
        const double exponential = std::pow(2.0, static_cast<double>(std::min<int64_t>(count, 32)));
        return std::min(exponential + jitterMilliseconds / 1000.0,
                        kTSRInstallationsMaxRecoverableBackoffSeconds);
    }
    case TSRInstallationsBackoffEventUnrecoverableFailure:
        return kTSRInstallationsUnrecoverableBackoffSeconds;
    }
    return 0;
}

void TSRInstallationsBackoffController::registerEvent(TSRInstallationsBackoffEvent event) {
    std::lock_guard guard(lock_);
    const int64_t count =
        lastEventData_ && lastEventData_->eventType == event ? lastEventData_->eventCount + 1 : 1;
    lastEventData_ = TSRInstallationsBackoffEventData{event, currentDateProvider_(), count,
                                                      backoffTimeInterval(event, count, jitter_())};
}

bool TSRInstallationsBackoffController::isNextRequestAllowed() const {
    std::lock_guard guard(lock_);
    if (!lastEventData_) return true;
    const double elapsed =
        currentDateProvider_().secondsSince1970 - lastEventData_->lastEventDate.secondsSince1970;
    return elapsed >= lastEventData_->backoffTimeInterval;
}

std::optional<TSRInstallationsBackoffEventData> TSRInstallationsBackoffController::lastEventData() const {
    std::lock_guard guard(lock_);
    return lastEventData_;
}
