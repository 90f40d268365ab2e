// The built-in session settings, the last source asked: sessions on, every session sampled in, a new
// session after half an hour of inactivity.
#pragma once

#include "sessions/SettingsProvider.h"

class SDKDefaultSettings : public SettingsProvider {
public:
    static constexpr double kDefaultSamplingRate = 1.0;
    static constexpr double kDefaultSessionTimeout = 1800;

    std::optional<bool> sessionsEnabled() const override { return true; }
    std::optional<double> samplingRate() const override { return kDefaultSamplingRate; }
    std::optional<double> sessionTimeout() const override { return kDefaultSessionTimeout; }
};
