// What the transport asks of the application: background tasks around work that must finish, and
// whether the application runs in the background. A background task identifier of 0 is invalid.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using TTRBackgroundIdentifier = uint64_t;
inline constexpr TTRBackgroundIdentifier TTRBackgroundIdentifierInvalid = 0;

class TTRApplicationProtocol {
public:
    virtual ~TTRApplicationProtocol() = default;
    // A task that the platform lets finish before suspending the process; `expirationHandler` runs
    // if time runs out first. Answers the task's identifier (0: no task was begun).
    virtual TTRBackgroundIdentifier beginBackgroundTaskWithName(const std::string& name,
                                                                std::function<void()> expirationHandler) = 0;
    // Ends a task; 0 is ignored.
    virtual void endBackgroundTask(TTRBackgroundIdentifier identifier) = 0;
    virtual bool isRunningInBackground() const = 0;
};
