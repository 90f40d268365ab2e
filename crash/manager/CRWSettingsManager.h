// Fetches the crash reporter's settings document when the cache has expired, and caches it for
// the app id once it has been stored. At most one fetch runs per manager; the network client's
// session is invalidated when it ends, whatever the outcome. Made with std::make_shared.
#pragma once

#include "crash/manager/CRWApplicationIdentifierModel.h"
#include "crash/manager/CRWDownloadAndSaveSettingsOperation.h"
#include "crash/manager/CRWSettings.h"

#include <functional>
#include <memory>
#include <string>

inline constexpr const char* kCRWSettingsBuiltInBaseURL = "https://settings.crashwatch.velmora.example";

class CRWSettingsManager : public CRWDownloadAndSaveSettingsOperationDelegate,
                           public std::enable_shared_from_this<CRWSettingsManager> {
public:
    // `installID` is read when a fetch begins (the crash reporter's install UUID).
    CRWSettingsManager(std::shared_ptr<CRWApplicationIdentifierModel> appIDModel,
                       std::function<std::string()> installID, std::shared_ptr<CRWSettings> settings,
                       std::string tesseraAppID);

    // Starts the download; its result is cached when it arrives.
    void beginSettingsWithTesseraAppId(const std::string& tesseraAppID,
                                       const std::shared_ptr<CRWDataCollectionToken>& token);
    // The service's address (VELMORA_TESSERA_BASE replaces its scheme, host and port) with the
    // escaped platform and app id and this build's query items.
    std::string settingsURL() const;

    void operationDidDownloadAndSaveSettingsWithError(CRWDownloadAndSaveSettingsOperation& operation,
                                                      const std::optional<plat::Error>& error) override;

    // Called after each fetch has been handled (tests wait on it).
    void setFetchObserver(std::function<void(const std::optional<plat::Error>&)> observer);
    const std::shared_ptr<CRWBaseNetworkClient>& networkClient() const { return networkClient_; }

private:
    std::shared_ptr<CRWApplicationIdentifierModel> appIDModel_;
    std::function<std::string()> installID_;
    std::shared_ptr<CRWSettings> settings_;
    std::string tesseraAppID_;
    std::shared_ptr<CRWBaseNetworkClient> networkClient_;
    std::shared_ptr<CRWDownloadAndSaveSettingsOperation> operation_;
    std::function<void(const std::optional<plat::Error>&)> observer_;
};
