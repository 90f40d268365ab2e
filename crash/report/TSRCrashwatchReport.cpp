#include "crash/report/TSRCrashwatchReport.h"

#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWSharedLog.h"

namespace {

constexpr const char* kUserIDKey = "com.crashwatch.user-id";

} // namespace

TSRCrashwatchReport::TSRCrashwatchReport(std::shared_ptr<CRWInternalReport> internalReport)
    : internalReport_(std::move(internalReport)) {
    if (internalReport_) {
        reportID_ = internalReport_->identifier();
        dateCreated_ = internalReport_->dateCreated();
        hasCrash_ = internalReport_->isCrash();
    }
    auto pathOf = [this](const char* name) {
        return filesystemPathForContentFile(name, internalReport_.get()).value_or("");
    };
    logAPath_ = pathOf(CRWReportLogAFile);
    logBPath_ = pathOf(CRWReportLogBFile);
    internalIncrementalPath_ = pathOf(CRWReportInternalIncrementalKVFile);
    internalCompactedPath_ = pathOf(CRWReportInternalCompactedKVFile);
    userIncrementalPath_ = pathOf(CRWReportUserIncrementalKVFile);
    userCompactedPath_ = pathOf(CRWReportUserCompactedKVFile);

    // The limits are those of the running context's stores, when there is one.
    const CRWReadOnlyContext* running = _crwContext.readonly;
    if (running) {
        logStorage_ = running->logging.logStorage;
        internalKVStorage_ = running->logging.internalKVStorage;
        userKVStorage_ = running->logging.userKVStorage;
    }
    logStorage_.aPath = logAPath_.c_str();
    logStorage_.bPath = logBPath_.c_str();
    activeLogPath_ = logStorage_.aPath;
    internalKVStorage_.incrementalPath = internalIncrementalPath_.c_str();
    internalKVStorage_.compactedPath = internalCompactedPath_.c_str();
    userKVStorage_.incrementalPath = userIncrementalPath_.c_str();
    userKVStorage_.compactedPath = userCompactedPath_.c_str();
}

std::optional<std::string>
TSRCrashwatchReport::filesystemPathForContentFile(const std::string& name,
                                                  const CRWInternalReport* internalReport) {
    if (!internalReport) return std::nullopt;
    return internalReport->pathForContentFile(name);
}

bool TSRCrashwatchReport::contextReady(const char* method) const {
    if (CRWContextIsInitialized() && internalReport_) return true;
    CRWErrorLog("%@ failed for TSRCrashwatchReport because Crashwatch context isn't initialized.", method);
    return false;
}

void TSRCrashwatchReport::writeLog(const std::string& message) {
    CRWLogToStorage(&logStorage_, &activeLogPath_, "%@", message);
}

void TSRCrashwatchReport::log(const std::string& message) {
    if (!contextReady("log:")) return;
    writeLog(message);
}

void TSRCrashwatchReport::logFormatted(const char* method, const std::string& format,
                                       const TULFormatArguments& arguments) {
    if (!contextReady(method)) return;
    writeLog(TULStringWithFormat(format, arguments));
}

void TSRCrashwatchReport::setUserID(const std::string& userID) {
    if (!contextReady("setUserID:")) return;
    CRWUserLoggingRecordKeyValue(kUserIDKey, plat::Object(userID), &internalKVStorage_, &internalKVCounter_);
}

void TSRCrashwatchReport::setCustomValue(const plat::Object& value, const std::string& key) {
    if (!contextReady("setCustomValue:forKey:")) return;
    CRWUserLoggingRecordKeyValue(key, value, &userKVStorage_, &userKVCounter_);
}

void TSRCrashwatchReport::setCustomKeysAndValues(const plat::Object::Dict& keysAndValues) {
    if (!contextReady("setCustomKeysAndValues:")) return;
    CRWUserLoggingRecordKeysAndValues(keysAndValues, &userKVStorage_, &userKVCounter_);
}
