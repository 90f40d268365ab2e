#include "sessions/SessionsSettings.h"

#include "sessions/SettingsCache.h"
#include "sessions/SettingsDownloader.h"

SessionsSettings::SessionsSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                                   std::shared_ptr<const InstallationsProtocol> installations)
    : SessionsSettings(appInfo, installations, std::make_shared<SDKDefaultSettings>(),
                       std::make_shared<LocalOverrideSettings>(),
                       std::make_shared<RemoteSettings>(
                           appInfo, std::make_shared<SettingsDownloader>(appInfo, installations),
                           std::make_shared<SettingsCache>())) {}

SessionsSettings::SessionsSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                                   std::shared_ptr<const InstallationsProtocol> installations,
                                   std::shared_ptr<SettingsProvider> sdkDefaults,
                                   std::shared_ptr<SettingsProvider> localOverrides,
                                   std::shared_ptr<RemoteSettings> remoteSettings,
                                   std::function<plat::Date()> now)
    : appInfo_(std::move(appInfo)), installations_(std::move(installations)),
      sdkDefaults_(std::move(sdkDefaults)), localOverrides_(std::move(localOverrides)),
      remoteSettings_(std::move(remoteSettings)),
      now_(now ? std::move(now) : std::function<plat::Date()>(plat::Date::now)) {}

namespace {

// The first source that decides, in the order given.
template <typename T, typename Read>
T firstAnswer(std::initializer_list<const SettingsProvider*> sources, Read read, T fallback) {
    for (const SettingsProvider* source : sources) {
        if (!source) continue;
        if (std::optional<T> answer = read(*source)) return *answer;
    }
    return fallback;
}

} // namespace

bool SessionsSettings::sessionsEnabled() const {
    return firstAnswer<bool>(
        {localOverrides_.get(), remoteSettings_.get(), sdkDefaults_.get()},
        [](const SettingsProvider& s) { return s.sessionsEnabled(); }, true);
}

double SessionsSettings::samplingRate() const {
    return firstAnswer<double>(
        {localOverrides_.get(), remoteSettings_.get(), sdkDefaults_.get()},
        [](const SettingsProvider& s) { return s.samplingRate(); }, SDKDefaultSettings::kDefaultSamplingRate);
}

double SessionsSettings::sessionTimeout() const {
    return firstAnswer<double>(
        {localOverrides_.get(), remoteSettings_.get(), sdkDefaults_.get()},
        [](const SettingsProvider& s) { return s.sessionTimeout(); },
        SDKDefaultSettings::kDefaultSessionTimeout);
}

void SessionsSettings::updateSettings() {
    if (remoteSettings_) remoteSettings_->fetchAndCacheSettings(now_());
}
