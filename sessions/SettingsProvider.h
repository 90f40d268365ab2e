// What one source of session settings answers. An absent value means that this source does not
// decide the question and the next source in line is asked.
#pragma once

#include <optional>

class SettingsProvider {
public:
    virtual ~SettingsProvider() = default;
    virtual std::optional<bool> sessionsEnabled() const = 0;
    virtual std::optional<double> samplingRate() const = 0;
    // Seconds of inactivity after which the next activation starts a new session.
    virtual std::optional<double> sessionTimeout() const = 0;
};
