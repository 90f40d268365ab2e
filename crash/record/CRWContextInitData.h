// The inputs of the crash context's start-up: where this run's report folder is, the identifiers
// written into its metadata, and the limits from the crash reporter's settings. A plain value.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

class CRWContextInitData {
public:
    const std::string& customBundleId() const { return customBundleId_; }
    void setCustomBundleId(std::string v) { customBundleId_ = std::move(v); }
    // The report folder of this run.
    const std::string& rootPath() const { return rootPath_; }
    void setRootPath(std::string v) { rootPath_ = std::move(v); }
    // The file manager's root folder, which holds the crashed marker.
    const std::string& previouslyCrashedFileRootPath() const { return previouslyCrashedFileRootPath_; }
    void setPreviouslyCrashedFileRootPath(std::string v) { previouslyCrashedFileRootPath_ = std::move(v); }
    // The run's execution identifier.
    const std::string& sessionId() const { return sessionId_; }
    void setSessionId(std::string v) { sessionId_ = std::move(v); }
    const std::string& appHealthSessionId() const { return appHealthSessionId_; }
    void setAppHealthSessionId(std::string v) { appHealthSessionId_ = std::move(v); }
    const std::string& betaToken() const { return betaToken_; }
    void setBetaToken(std::string v) { betaToken_ = std::move(v); }
    bool errorsEnabled() const { return errorsEnabled_; }
    void setErrorsEnabled(bool v) { errorsEnabled_ = v; }
    bool customExceptionsEnabled() const { return customExceptionsEnabled_; }
    void setCustomExceptionsEnabled(bool v) { customExceptionsEnabled_ = v; }
    uint32_t maxCustomExceptions() const { return maxCustomExceptions_; }
    void setMaxCustomExceptions(uint32_t v) { maxCustomExceptions_ = v; }
    // Carried for the report; the context does not use it.
    uint32_t maxErrorLogSize() const { return maxErrorLogSize_; }
    void setMaxErrorLogSize(uint32_t v) { maxErrorLogSize_ = v; }
    uint32_t maxLogSize() const { return maxLogSize_; }
    void setMaxLogSize(uint32_t v) { maxLogSize_ = v; }
    uint32_t maxKeyValues() const { return maxKeyValues_; }
    void setMaxKeyValues(uint32_t v) { maxKeyValues_ = v; }

private:
    std::string customBundleId_;
    std::string rootPath_;
    std::string previouslyCrashedFileRootPath_;
    std::string sessionId_;
    std::string appHealthSessionId_;
    std::string betaToken_;
    bool errorsEnabled_ = false;
    bool customExceptionsEnabled_ = false;
    uint32_t maxCustomExceptions_ = 0;
    uint32_t maxErrorLogSize_ = 0;
    uint32_t maxLogSize_ = 0;
    uint32_t maxKeyValues_ = 0;
};

// The folder under the platform caches folder that holds one folder per report
// (<caches>/com.crashwatch.data).
std::filesystem::path CRWContextReportsRootPath();
