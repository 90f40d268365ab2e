// The host's view of the newest unsent report: its identifier, creation date and whether it is a
// crash, and a way to add log lines, a user id and custom keys to that report before it is sent.
// The additions go into the report folder's own log and key-value files, through the same writers
// (and limits) as the running crash context's stores. Nothing is written before the crash context
// is initialized. Not copyable: the stores point into the object.
#pragma once

#include "crash/record/CRWContext.h"
#include "crash/report/CRWInternalReport.h"
#include "platform/object/Object.h"
#include "utilities/TULStringFormat.h"

#include <memory>
#include <optional>
#include <string>

class TSRCrashwatchReport {
public:
    explicit TSRCrashwatchReport(std::shared_ptr<CRWInternalReport> internalReport);
    TSRCrashwatchReport(const TSRCrashwatchReport&) = delete;
    TSRCrashwatchReport& operator=(const TSRCrashwatchReport&) = delete;

    const std::string& reportID() const { return reportID_; }
    plat::Date dateCreated() const { return dateCreated_; }
    bool hasCrash() const { return hasCrash_; }
    const std::shared_ptr<CRWInternalReport>& internalReport() const { return internalReport_; }

    // The path of a content file of the report; none for a missing report.
    static std::optional<std::string> filesystemPathForContentFile(const std::string& name,
                                                                   const CRWInternalReport* internalReport);

    void log(const std::string& message);
    template <typename... Args> void logWithFormat(const std::string& format, Args&&... args) {
        logFormatted("logWithFormat:", format, TULMakeFormatArguments(std::forward<Args>(args)...));
    }
    void logWithFormatArguments(const std::string& format, const TULFormatArguments& arguments) {
        logFormatted("logWithFormat:arguments:", format, arguments);
    }
    void setUserID(const std::string& userID);
    void setCustomValue(const plat::Object& value, const std::string& key);
    void setCustomKeysAndValues(const plat::Object::Dict& keysAndValues);

private:
    bool contextReady(const char* method) const;
    void writeLog(const std::string& message);
    void logFormatted(const char* method, const std::string& format, const TULFormatArguments& arguments);

    std::string reportID_;
    plat::Date dateCreated_;
    bool hasCrash_ = false;
    std::string logAPath_, logBPath_;
    std::string internalIncrementalPath_, internalCompactedPath_;
    std::string userIncrementalPath_, userCompactedPath_;
    CRWABStorage logStorage_{};
    const char* activeLogPath_ = nullptr;
    uint32_t internalKVCounter_ = 0;
    CRWKVStorage internalKVStorage_{};
    uint32_t userKVCounter_ = 0;
    CRWKVStorage userKVStorage_{};
    std::shared_ptr<CRWInternalReport> internalReport_;
};
