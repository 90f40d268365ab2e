#include "core/TSRConfiguration.h"

#include "core/TSRAnalyticsConfiguration.h"
#include "core/TSRException.h"
#include "core/TSRLogger.h"

TSRConfiguration& TSRConfiguration::sharedInstance() {
    static auto* shared = new TSRConfiguration;
    return *shared;
}

TSRConfiguration::TSRConfiguration()
    : analyticsConfiguration_(&TSRAnalyticsConfiguration::sharedInstance()) {}

int TSRConfiguration::loggerLevel() {
    std::lock_guard guard(lock_);
    return TSRGetLoggerLevel();
}

void TSRConfiguration::setLoggerLevel(int loggerLevel) {
    std::lock_guard guard(lock_);
    if (loggerLevel < TSRLoggerLevelError || loggerLevel > TSRLoggerLevelDebug)
        throw TSRException(kTSRInternalInconsistencyException,
                           "Invalid logger level, " + std::to_string(static_cast<long>(loggerLevel)));
    TSRSetLoggerLevel(loggerLevel);
}

TSRAnalyticsConfiguration& TSRConfiguration::analyticsConfiguration() {
    std::lock_guard guard(lock_);
    return *analyticsConfiguration_;
}

void TSRConfiguration::setAnalyticsConfiguration(TSRAnalyticsConfiguration& analyticsConfiguration) {
    std::lock_guard guard(lock_);
    analyticsConfiguration_ = &analyticsConfiguration;
}
