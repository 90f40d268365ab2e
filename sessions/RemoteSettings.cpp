#include "sessions/RemoteSettings.h"

#include "sessions/SessionsLogger.h"
#include "sessions/SettingsValues.h"

RemoteSettings::RemoteSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                               std::shared_ptr<SettingsDownloadClient> downloader,
                               std::shared_ptr<SettingsCacheClient> cache)
    : appInfo_(std::move(appInfo)), downloader_(std::move(downloader)), cache_(std::move(cache)) {}

plat::Object RemoteSettings::appHealthValue(const char* key) const {
    plat::Object::Dict document = cache_->cacheContent();
    auto appHealth = document.find("app_health");
    if (appHealth == document.end()) return {};
    return appHealth->second[key];
}

std::optional<bool> RemoteSettings::sessionsEnabled() const {
    return TSRSessionsBoolSetting(appHealthValue("sessions_enabled"));
}

std::optional<double> RemoteSettings::samplingRate() const {
    return TSRSessionsNumberSetting(appHealthValue("sampling_rate"));
}

std::optional<double> RemoteSettings::sessionTimeout() const {
    return TSRSessionsNumberSetting(appHealthValue("session_timeout_seconds"));
}

std::string RemoteSettings::currentVersionText() const {
    return appInfo_->appDisplayVersion() + " (" + appInfo_->appBuildVersion() + ")";
}

void RemoteSettings::fetchAndCacheSettings(plat::Date currentTime) {
    if (!isCacheExpired(currentTime)) {
        TSRSessionsLog(TSRLoggerLevelDebug, "[Settings] Cache is not expired, no fetch will be made.");
        return;
    }
    // The cache is read through this object when the download completes; the download may finish
    // after a caller dropped its reference, so it keeps what it needs.
    auto cache = cache_;
    CacheKey key{currentTime, appInfo_->appID(), currentVersionText()};
    downloader_->fetch([cache, key](SettingsFetchResult result) {
        if (auto* failure = std::get_if<SettingsDownloaderError>(&result)) {
            TSRSessionsLog(TSRLoggerLevelError, "[Settings] Fetching newest settings failed with error: " +
                                                    failure->description());
            return;
        }
        cache->setCacheContent(std::get<plat::Object::Dict>(result));
        cache->setCacheKey(key);
    });
}

bool RemoteSettings::isCacheExpired(plat::Date time) {
    plat::Object::Dict document = cache_->cacheContent();
    if (document.empty()) {
        cache_->removeCache();
        return true;
    }
    std::optional<CacheKey> key = cache_->cacheKey();
    if (!key) {
        TSRSessionsLog(TSRLoggerLevelError, "[Settings] Could not load settings cache key");
        cache_->removeCache();
        return true;
    }
    if (key->tesseraAppID != appInfo_->appID()) {
        TSRSessionsLog(TSRLoggerLevelDebug, "[Settings] Cache expired because Tessera App ID changed");
        cache_->removeCache();
        return true;
    }
    const double age = time.secondsSince1970 - key->createdAt.secondsSince1970;
    auto duration = document.find("cache_duration");
    std::optional<double> cacheDuration =
        duration == document.end() ? std::nullopt : TSRSessionsNumberSetting(duration->second);
    if (cacheDuration ? *cacheDuration < age : age > kDefaultCacheDuration) {
        TSRSessionsLog(TSRLoggerLevelDebug, "[Settings] Cache TTL expired");
        return true;
    }
    if (key->appVersion != currentVersionText()) {
        TSRSessionsLog(TSRLoggerLevelDebug, "[Settings] Cache expired because app version changed");
        return true;
    }
    return false;
}
