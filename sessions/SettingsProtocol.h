// The combined session settings as the session code uses them, and the way to refresh their remote
// part.
#pragma once

class SettingsProtocol {
public:
    virtual ~SettingsProtocol() = default;
    virtual bool sessionsEnabled() const = 0;
    virtual double samplingRate() const = 0;
    // Seconds.
    virtual double sessionTimeout() const = 0;
    // Refreshes the remote settings when their cache has expired.
    virtual void updateSettings() = 0;
};
