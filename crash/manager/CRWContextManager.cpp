#include "crash/manager/CRWContextManager.h"

#include "crash/capture/CRWCaptureStartup.h"
#include "crash/image/CRWBinaryImage.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitData.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWSharedLog.h"

#include <chrono>
#include <thread>

namespace {

CRWContextInitData buildInitData(const CRWInternalReport& report, const CRWSettings& settings,
                                 const CRWFileManager& fileManager, const std::string& appHealthSessionId) {
    CRWContextInitData data;
    data.setRootPath(report.path());
    data.setPreviouslyCrashedFileRootPath(fileManager.rootPath());
    data.setSessionId(report.identifier());
    data.setAppHealthSessionId(appHealthSessionId);
    data.setErrorsEnabled(settings.errorReportingEnabled());
    data.setCustomExceptionsEnabled(settings.customExceptionsEnabled());
    data.setMaxCustomExceptions(settings.maxCustomExceptions());
    data.setMaxErrorLogSize(settings.errorLogBufferSize());
    data.setMaxLogSize(settings.logBufferSize());
    data.setMaxKeyValues(settings.maxCustomKeys());
    return data;
}

} // namespace

bool CRWContextManager::setupContextWithReport(const std::shared_ptr<CRWInternalReport>& report,
                                               const std::shared_ptr<CRWSettings>& settings,
                                               const std::shared_ptr<CRWFileManager>& fileManager) {
    CRWContextInitData data;
    {
        std::lock_guard guard(mutex_);
        report_ = report;
        settings_ = settings;
        fileManager_ = fileManager;
        data = buildInitData(*report, *settings, *fileManager, appHealthSessionId_);
    }
    hasInitializedContext_ = true;
    CRWBinaryImageInstallStartupHooks();
    CRWContextSetStartupHooks(CRWCaptureStartupHooks(CRWContextCurrentStartupHooks()));
    return CRWContextInitialize(&data);
}

void CRWContextManager::setAppHealthSessionId(const std::string& appHealthSessionId) {
    CRWContextInitData data;
    std::string path;
    {
        std::lock_guard guard(mutex_);
        appHealthSessionId_ = appHealthSessionId;
        if (!hasInitializedContext_ || !report_) return;
        data = buildInitData(*report_, *settings_, *fileManager_, appHealthSessionId_);
        path = report_->path();
    }
    if (!CRWContextRecordMetadata(path, data))
        CRWErrorLog("Failed to write context file while updating App Health Session ID");
}

std::string CRWContextManager::appHealthSessionId() const {
    std::lock_guard guard(mutex_);
    return appHealthSessionId_;
}
