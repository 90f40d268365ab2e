// Downloads the settings document once (one retry at most) and stores it, unchanged, as the
// settings file: the settings folder is emptied first, so a stale cache key never describes a
// new document. A folder holding anything that is not a plain file of the user's own that nobody
// else may write (paths::readOwnFile) is left as it is, and the download fails with a Cocoa write
// permission error (513) naming it. Tells its delegate the outcome, then finishes.
#pragma once

#include "crash/manager/CRWBaseNetworkClient.h"
#include "crash/manager/CRWNetworkOperation.h"

#include <memory>
#include <optional>
#include <string>

class CRWDownloadAndSaveSettingsOperation;

// Told once per operation, on the network client's queue.
class CRWDownloadAndSaveSettingsOperationDelegate {
public:
    virtual ~CRWDownloadAndSaveSettingsOperationDelegate() = default;
    virtual void operationDidDownloadAndSaveSettingsWithError(CRWDownloadAndSaveSettingsOperation& operation,
                                                              const std::optional<plat::Error>& error) = 0;
};

class CRWDownloadAndSaveSettingsOperation : public CRWNetworkOperation {
public:
    // The URL, both paths and the installation id are required (an empty one aborts, naming it).
    CRWDownloadAndSaveSettingsOperation(std::string tesseraAppID,
                                        std::weak_ptr<CRWDownloadAndSaveSettingsOperationDelegate> delegate,
                                        std::string settingsURL, std::string settingsDirectoryPath,
                                        std::string settingsFilePath, std::string installID,
                                        std::weak_ptr<CRWBaseNetworkClient> networkClient,
                                        std::shared_ptr<CRWDataCollectionToken> token);

    void main() override;
    // The default headers plus what identifies this device and installation.
    plat::URLRequest settingsRequest() const;
    const std::optional<plat::Error>& error() const { return error_; }

private:
    void finishDownload(const std::optional<std::string>& location, std::optional<plat::Error> error);

    std::weak_ptr<CRWDownloadAndSaveSettingsOperationDelegate> delegate_;
    std::string settingsURL_;
    std::string settingsDirectoryPath_;
    std::string settingsFilePath_;
    std::string installID_;
    std::weak_ptr<CRWBaseNetworkClient> networkClient_;
    std::optional<plat::Error> error_;
};
