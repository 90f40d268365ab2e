// Session settings that the application bundle's information dictionary fixes, the first source
// asked: "TesseraSessionsEnabled" (a boolean), "TesseraSessionsSampleRate" and
// "TesseraSessionsTimeout" (numbers). The dictionary is read on every access; a missing dictionary,
// key or a value of another type decides nothing. Keeps no state of its own; any thread.
#pragma once

#include "sessions/SettingsProvider.h"

#include "platform/object/Object.h"

#include <functional>
#include <optional>

inline constexpr const char* kTSRSessionsEnabledInfoKey = "TesseraSessionsEnabled";
inline constexpr const char* kTSRSessionsSampleRateInfoKey = "TesseraSessionsSampleRate";
inline constexpr const char* kTSRSessionsTimeoutInfoKey = "TesseraSessionsTimeout";

class LocalOverrideSettings : public SettingsProvider {
public:
    using InfoDictionaryProvider = std::function<std::optional<plat::Object::Dict>()>;

    // Over the main bundle's information dictionary.
    LocalOverrideSettings();
    // Over another dictionary source (tests).
    explicit LocalOverrideSettings(InfoDictionaryProvider infoDictionary);

    std::optional<bool> sessionsEnabled() const override;
    std::optional<double> samplingRate() const override;
    std::optional<double> sessionTimeout() const override;

private:
    plat::Object infoValue(const char* key) const;

    InfoDictionaryProvider infoDictionary_;
};
