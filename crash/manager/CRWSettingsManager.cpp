#include "crash/manager/CRWSettingsManager.h"

#include "core/TSRTesseraBase.h"
#include "crash/manager/CRWURLBuilder.h"
#include "crash/record/CRWSharedLog.h"

CRWSettingsManager::CRWSettingsManager(std::shared_ptr<CRWApplicationIdentifierModel> appIDModel,
                                       std::function<std::string()> installID,
                                       std::shared_ptr<CRWSettings> settings, std::string tesseraAppID)
    : appIDModel_(std::move(appIDModel)), installID_(std::move(installID)), settings_(std::move(settings)),
      tesseraAppID_(std::move(tesseraAppID)), networkClient_(std::make_shared<CRWBaseNetworkClient>()) {}

std::string CRWSettingsManager::settingsURL() const {
    CRWURLBuilder builder = CRWURLBuilder::URLWithBase(TSRTesseraURL(kCRWSettingsBuiltInBaseURL));
    builder.appendComponent("/settings/v1/platforms/");
    builder.escapeAndAppendComponent(appIDModel_->platform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(tesseraAppID_);
    builder.appendComponent("/settings");
    builder.appendValue(appIDModel_->buildVersion(), "build_version");
    builder.appendValue(appIDModel_->displayVersion(), "display_version");
    builder.appendValue(appIDModel_->buildInstanceID(), "instance");
    builder.appendValue(static_cast<int64_t>(appIDModel_->installSource()), "source");
    return builder.URLString();
}

void CRWSettingsManager::beginSettingsWithTesseraAppId(const std::string& tesseraAppID,
                                                       const std::shared_ptr<CRWDataCollectionToken>& token) {
    tesseraAppID_ = tesseraAppID;
    operation_ = std::make_shared<CRWDownloadAndSaveSettingsOperation>(
        tesseraAppID_, weak_from_this(), settingsURL(), settings_->settingsDirectoryPath(),
        settings_->settingsFilePath(), installID_ ? installID_() : std::string(), networkClient_, token);
    operation_->startWithToken(token);
}

void CRWSettingsManager::operationDidDownloadAndSaveSettingsWithError(
    CRWDownloadAndSaveSettingsOperation&, const std::optional<plat::Error>& error) {
    if (error) {
        std::string message = "Failed to download settings.";
        auto status = error->userInfo.find("status_code");
        if (status != error->userInfo.end() && status->second.isNumber() &&
            status->second.number().int64Value() == 404)
            message +=
                " If this is your first time launching the app, make sure you have enabled Crashwatch in the "
                "Tessera Console.";
        CRWErrorLog("%@ %@", message, error->localizedDescription());
    } else {
        CRWDebugLog("Settings downloaded successfully");
        settings_->cacheSettingsWithTesseraAppID(tesseraAppID_, CRWSettings::currentTimestamp());
    }
    networkClient_->invalidateAndCancel();
    if (observer_) observer_(error);
}

void CRWSettingsManager::setFetchObserver(std::function<void(const std::optional<plat::Error>&)> observer) {
    observer_ = std::move(observer);
}
