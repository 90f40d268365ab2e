// The bridge from the crash reporter's start-up to the crash context: sets the context up for this
// run's report with the limits of the settings, and keeps the app's session id in the report's
// metadata as sessions change (before set-up the id is only kept and written at set-up).
#pragma once

#include "crash/manager/CRWSettings.h"
#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWInternalReport.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class CRWContextManager {
public:
    // Starts the crash context (and its handlers) for `report`; false when it could not start.
    bool setupContextWithReport(const std::shared_ptr<CRWInternalReport>& report,
                                const std::shared_ptr<CRWSettings>& settings,
                                const std::shared_ptr<CRWFileManager>& fileManager);
    // Keeps the id and, once the context is up, rewrites the report's metadata with it.
    void setAppHealthSessionId(const std::string& appHealthSessionId);
    std::string appHealthSessionId() const;
    bool hasInitializedContext() const { return hasInitializedContext_; }

private:
    mutable std::mutex mutex_;
    std::atomic<bool> hasInitializedContext_{false};
    std::string appHealthSessionId_;
    std::shared_ptr<CRWInternalReport> report_;
    std::shared_ptr<CRWSettings> settings_;
    std::shared_ptr<CRWFileManager> fileManager_;
};
