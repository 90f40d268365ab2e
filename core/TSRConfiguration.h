// The process-wide configuration object: the shared logger's level as a locked property, and the
// analytics configuration. Thread-safe.
#pragma once

#include <mutex>

class TSRAnalyticsConfiguration;

class TSRConfiguration {
public:
    // Never destroyed; holds the shared analytics configuration from creation.
    static TSRConfiguration& sharedInstance();

    int loggerLevel();
    // 3 to 7. Another level is a programming error: raises TSRException
    // ("NSInternalInconsistencyException", "Invalid logger level, <level>") and the level stays.
    void setLoggerLevel(int loggerLevel);

    TSRAnalyticsConfiguration& analyticsConfiguration();
    void setAnalyticsConfiguration(TSRAnalyticsConfiguration& analyticsConfiguration);

private:
    TSRConfiguration();

    std::mutex lock_;
    TSRAnalyticsConfiguration* analyticsConfiguration_;
};
