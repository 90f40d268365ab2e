// The session settings of the remote settings document, read from its cache: the "app_health"
// dictionary's "sessions_enabled" (a boolean), "sampling_rate" and "session_timeout_seconds"
// (numbers). The cache is refreshed by fetchAndCacheSettings when it has expired: after the
// document's "cache_duration" (else 3600 s), or when the app id or the application version changed.
// Reads may come from any thread; a fetch writes the cache from the download's completion.
#pragma once

#include "sessions/ApplicationInfoProtocol.h"
#include "sessions/SettingsCacheClient.h"
#include "sessions/SettingsDownloadClient.h"
#include "sessions/SettingsProvider.h"

#include <memory>

class RemoteSettings : public SettingsProvider {
public:
    static constexpr double kDefaultCacheDuration = 3600;

    RemoteSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                   std::shared_ptr<SettingsDownloadClient> downloader,
                   std::shared_ptr<SettingsCacheClient> cache);

    std::optional<bool> sessionsEnabled() const override;
    std::optional<double> samplingRate() const override;
    std::optional<double> sessionTimeout() const override;

    // Downloads and caches the document unless the cache is still fresh at `currentTime`. A failed
    // download is logged and leaves the cache as it was.
    void fetchAndCacheSettings(plat::Date currentTime);
    // Whether the cache must be refreshed at `time`. An empty document, an unreadable key or a key
    // of another app id also removes the cache.
    bool isCacheExpired(plat::Date time);

    // "<display version> (<build version>)".
    std::string currentVersionText() const;

    const std::shared_ptr<SettingsCacheClient>& cache() const { return cache_; }
    void setCache(std::shared_ptr<SettingsCacheClient> cache) { cache_ = std::move(cache); }

private:
    plat::Object appHealthValue(const char* key) const;

    std::shared_ptr<const ApplicationInfoProtocol> appInfo_;
    std::shared_ptr<SettingsDownloadClient> downloader_;
    std::shared_ptr<SettingsCacheClient> cache_;
};
