// The session settings as the component applies them, computed on every access from three sources
// in order, the first that decides winning: the Info overrides, the cached remote document, the
// built-in defaults. Reads from any thread.
#pragma once

#include "sessions/ApplicationInfoProtocol.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/LocalOverrideSettings.h"
#include "sessions/RemoteSettings.h"
#include "sessions/SDKDefaultSettings.h"
#include "sessions/SettingsProtocol.h"

#include <functional>
#include <memory>

class SessionsSettings : public SettingsProtocol {
public:
    // The sources of a running application: the main bundle's overrides and a remote document
    // downloaded with the installation id and cached in the standard user defaults.
    SessionsSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                     std::shared_ptr<const InstallationsProtocol> installations);
    // Given sources; `now` is the clock of updateSettings (the current date when empty).
    SessionsSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                     std::shared_ptr<const InstallationsProtocol> installations,
                     std::shared_ptr<SettingsProvider> sdkDefaults,
                     std::shared_ptr<SettingsProvider> localOverrides,
                     std::shared_ptr<RemoteSettings> remoteSettings,
                     std::function<plat::Date()> now = nullptr);

    bool sessionsEnabled() const override;
    double samplingRate() const override;
    double sessionTimeout() const override;
    // Fetches and caches the remote document when its cache has expired at the current date.
    void updateSettings() override;

    const std::shared_ptr<RemoteSettings>& remoteSettings() const { return remoteSettings_; }

private:
    std::shared_ptr<const ApplicationInfoProtocol> appInfo_;
    std::shared_ptr<const InstallationsProtocol> installations_;
    std::shared_ptr<SettingsProvider> sdkDefaults_;
    std::shared_ptr<SettingsProvider> localOverrides_;
    std::shared_ptr<RemoteSettings> remoteSettings_;
    std::function<plat::Date()> now_;
};
