// Downloads the session settings document: a GET of
// "/settings/v1/platforms/<platform>/apps/<app id>/settings?build_version=..&display_version=.."
// on the settings service (built in on an example domain; VELMORA_TESSERA_BASE replaces it), with
// the installation id and the device and system facts as headers. Only a 2xx reply whose body is a
// JSON object is a document. Blocks the calling thread while it waits for the installation id, so
// it must not run on the main thread.
#pragma once

#include "sessions/ApplicationInfoProtocol.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/SettingsDownloadClient.h"

#include "platform/net/URLRequest.h"

#include <memory>
#include <optional>
#include <string>

namespace plat {
class URLSession;
}

inline constexpr const char* kTSRSessionsSettingsBaseURL = "https://settings.tessera.example";

class SettingsDownloader : public SettingsDownloadClient {
public:
    // Over the shared URL session, or `session` (tests).
    SettingsDownloader(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                       std::shared_ptr<const InstallationsProtocol> installations,
                       plat::URLSession* session = nullptr);

    void fetch(std::function<void(SettingsFetchResult)> completion) override;

    // The settings address; none when the app id or versions make no valid URL.
    std::optional<std::string> url() const;
    // The GET request with its headers.
    plat::URLRequest buildRequest(const std::string& url, const std::string& tiid) const;
    // A reply as a document: the body of a 2xx reply when it is a JSON object, else the failure.
    static SettingsFetchResult parseReply(int statusCode, const plat::Data& body);

private:
    std::shared_ptr<const ApplicationInfoProtocol> appInfo_;
    std::shared_ptr<const InstallationsProtocol> installations_;
    plat::URLSession* session_;
};
