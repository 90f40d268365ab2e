#include "sessions/SettingsDownloader.h"

#include "sessions/TSRSESGetSysctlEntry.h"

#include "core/TSRTesseraBase.h"
#include "core/TSRVersion.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLSession.h"
#include "utilities/TULAppEnvironmentUtil.h"

SettingsDownloader::SettingsDownloader(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                                       std::shared_ptr<const InstallationsProtocol> installations,
                                       plat::URLSession* session)
    : appInfo_(std::move(appInfo)), installations_(std::move(installations)),
      session_(session ? session : &plat::URLSession::shared()) {}

std::optional<std::string> SettingsDownloader::url() const {
    const std::string platform = TULAppEnvironmentUtil::appleDevicePlatform();
    auto pathPart = [](const std::string& text) {
        return plat::addingPercentEncoding(text, plat::URLAllowedCharacters::urlPathAllowed());
    };
    std::optional<std::string> encodedPlatform = pathPart(platform);
    std::optional<std::string> encodedAppID = pathPart(appInfo_->appID());
    if (!encodedPlatform || !encodedAppID) return std::nullopt;
    std::optional<plat::URL> url =
        plat::URL::string(TSRTesseraURL(std::string(kTSRSessionsSettingsBaseURL) + "/settings/v1/platforms/" +
                                        *encodedPlatform + "/apps/" + *encodedAppID + "/settings"));
    if (!url) return std::nullopt;
    return url
        ->settingQueryItems({{"build_version", appInfo_->appBuildVersion()},
                             {"display_version", appInfo_->appDisplayVersion()}})
        .absoluteString();
}

plat::URLRequest SettingsDownloader::buildRequest(const std::string& url, const std::string& tiid) const {
    plat::URLRequest request(url, 60.0, plat::URLRequest::CachePolicy::UseProtocolCachePolicy);
    request.httpMethod = "GET";
    request.setValue("application/json", "Accept");
    request.setValue(tiid, "X-Crashwatch-Installation-ID");
    request.setValue(TULAppEnvironmentUtil::deviceSimulatorModel().value_or(""), "X-Crashwatch-Device-Model");
    request.setValue(TSRSESGetSysctlEntry("kern.osversion").value_or(""), "X-Crashwatch-OS-Build-Version");
    request.setValue(TULAppEnvironmentUtil::systemVersion(), "X-Crashwatch-OS-Display-Version");
    request.setValue(TSRVersion(), "X-Crashwatch-API-Client-Version");
    return request;
}

SettingsFetchResult SettingsDownloader::parseReply(int statusCode, const plat::Data& body) {
    // Only a successful reply is a document: an error page that happens to be a JSON object must
    // not replace the cached settings.
    if (statusCode < 200 || statusCode > 299)
        return SettingsDownloaderError{SettingsDownloaderError::Kind::URLSessionError,
                                       "The settings service answered with HTTP status " +
                                           std::to_string(statusCode)};
    plat::Object json = plat::JSONSerialization::jsonObject(
        std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    if (!json.isDict())
        return SettingsDownloaderError{SettingsDownloaderError::Kind::JSONParseError,
                                       "Failed to parse JSON to dictionary"};
    return json.dict();
}

void SettingsDownloader::fetch(std::function<void(SettingsFetchResult)> completion) {
    std::optional<std::string> address = url();
    if (!address) {
        completion(SettingsDownloaderError{SettingsDownloaderError::Kind::URLError, "Invalid URL"});
        return;
    }
    installations_->installationID([this, &address, &completion](InstallationFactsResult result) {
        if (auto* failure = std::get_if<TesseraSessionsError>(&result)) {
            completion(SettingsDownloaderError{SettingsDownloaderError::Kind::InstallationIDError,
                                               failure->localizedDescription()});
            return;
        }
        const InstallationFacts& facts = std::get<InstallationFacts>(result);
        auto task = session_->dataTask(
            buildRequest(*address, facts.installationID),
            [completion](std::optional<plat::Data> data, std::optional<plat::HTTPURLResponse> response,
                         std::optional<plat::Error> error) {
                if (data && response) {
                    completion(parseReply(response->statusCode, *data));
                } else if (error) {
                    completion(SettingsDownloaderError{SettingsDownloaderError::Kind::URLSessionError,
                                                       error->localizedDescription()});
                }
            });
        task->resume();
    });
}
