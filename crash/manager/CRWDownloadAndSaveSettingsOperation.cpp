#include "crash/manager/CRWDownloadAndSaveSettingsOperation.h"

#include "crash/record/CRWHost.h"
#include "crash/record/CRWSDKInfo.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

#include <system_error>

CRWDownloadAndSaveSettingsOperation::CRWDownloadAndSaveSettingsOperation(
    std::string tesseraAppID, std::weak_ptr<CRWDownloadAndSaveSettingsOperationDelegate> delegate,
    std::string settingsURL, std::string settingsDirectoryPath, std::string settingsFilePath,
    std::string installID, std::weak_ptr<CRWBaseNetworkClient> networkClient,
    std::shared_ptr<CRWDataCollectionToken> token)
    : CRWNetworkOperation("CRWDownloadAndSaveSettingsOperation", std::move(tesseraAppID), std::move(token)),
      delegate_(std::move(delegate)), settingsURL_(std::move(settingsURL)),
      settingsDirectoryPath_(std::move(settingsDirectoryPath)),
      settingsFilePath_(std::move(settingsFilePath)), installID_(std::move(installID)),
      networkClient_(std::move(networkClient)) {
    CRWRequireParameter(!settingsURL_.empty(), "settingsURL");
    CRWRequireParameter(!settingsDirectoryPath_.empty(), "settingsDirectoryPath");
    CRWRequireParameter(!settingsFilePath_.empty(), "settingsFilePath");
    CRWRequireParameter(!installID_.empty(), "installIDModel");
}

plat::URLRequest CRWDownloadAndSaveSettingsOperation::settingsRequest() const {
    plat::URLRequest request = mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(settingsURL_);
    request.setValue("application/json", "Accept");
    request.setValue(installID_, "X-Crashwatch-Installation-ID");
    request.setValue(CRWHostModelInfo(), "X-Crashwatch-Device-Model");
    request.setValue(CRWHostOSBuildVersion().value_or(""), "X-Crashwatch-OS-Build-Version");
    request.setValue(CRWHostOSDisplayVersion(), "X-Crashwatch-OS-Display-Version");
    request.setValue(CRWSDKVersion(), "X-Crashwatch-API-Client-Version");
    return request;
}

void CRWDownloadAndSaveSettingsOperation::main() {
    std::shared_ptr<CRWBaseNetworkClient> client = networkClient_.lock();
    if (!client) {
        finishDownload(std::nullopt, plat::Error("CRWNetworkError", -3));
        return;
    }
    auto self = std::static_pointer_cast<CRWDownloadAndSaveSettingsOperation>(shared_from_this());
    client->startDownloadTaskWithRequest(
        settingsRequest(), 1,
        [self](std::optional<std::string> location, auto, std::optional<plat::Error> error) {
            self->finishDownload(location, std::move(error));
        });
}

void CRWDownloadAndSaveSettingsOperation::finishDownload(const std::optional<std::string>& location,
                                                         std::optional<plat::Error> error) {
    // The folder is emptied for the new document, but never of what another user left in it.
    if (!error && location) {
        if (std::optional<std::string> foreign = plat::paths::refusedFileIn(settingsDirectoryPath_))
            error = plat::Error::withMessage(plat::FileManager::kErrorDomain,
                                             plat::FileManager::WriteNoPermissionError, *foreign);
    }
    if (!error && location) {
        if (plat::paths::entryStatus(settingsDirectoryPath_)) {
            if (auto kept = plat::paths::removeOwn(settingsDirectoryPath_, true); kept && kept->refused)
                CRWErrorLog("%@; leaving it aside", kept->text);
        }
        plat::paths::ensureDirectory(settingsDirectoryPath_);
        if (std::optional<plat::paths::FileProblem> moveError = plat::paths::renameOwn(*location, settingsFilePath_)) {
            const std::string message =
                moveError->refused ? moveError->text : std::generic_category().message(moveError->error);
            plat::Error failure = plat::Error::withMessage("NSCocoaErrorDomain", moveError->error, message);
            CRWErrorLog("Unable to complete settings download %@", failure.localizedDescription());
            error = failure;
        }
    }
    error_ = error;
    if (auto delegate = delegate_.lock())
        delegate->operationDidDownloadAndSaveSettingsWithError(*this, error);
    finishWithError(error);
}
