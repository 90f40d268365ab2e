#include "sessions/LocalOverrideSettings.h"

#include "sessions/SettingsValues.h"

#include "platform/foundation/Bundle.h"

LocalOverrideSettings::LocalOverrideSettings()
    : LocalOverrideSettings(
          []() -> std::optional<plat::Object::Dict> { return plat::Bundle::main().infoDictionary(); }) {}

LocalOverrideSettings::LocalOverrideSettings(InfoDictionaryProvider infoDictionary)
    : infoDictionary_(std::move(infoDictionary)) {}

plat::Object LocalOverrideSettings::infoValue(const char* key) const {
    std::optional<plat::Object::Dict> info = infoDictionary_ ? infoDictionary_() : std::nullopt;
    if (!info) return {};
    auto found = info->find(key);
    return found == info->end() ? plat::Object() : found->second;
}

std::optional<bool> LocalOverrideSettings::sessionsEnabled() const {
    return TSRSessionsBoolSetting(infoValue(kTSRSessionsEnabledInfoKey));
}

std::optional<double> LocalOverrideSettings::samplingRate() const {
    return TSRSessionsNumberSetting(infoValue(kTSRSessionsSampleRateInfoKey));
}

std::optional<double> LocalOverrideSettings::sessionTimeout() const {
    return TSRSessionsNumberSetting(infoValue(kTSRSessionsTimeoutInfoKey));
}
