// The developer's view of the session events: when the process was launched with the exact argument
// "-TSRSessionsDebugEvents", every event handed to the transport is decoded again from its bytes
// and logged (info level) as an indented dump. The auth token is shown as "<REDACTED>" when there is
// one: a credential never reaches a log line. Never calls its completion.
#pragma once

#include "sessions/EventTTRLoggerProtocol.h"
#include "sessions/proto/sessions.pb.h"

#include <functional>
#include <string>
#include <vector>

inline constexpr const char* kTSRSessionsDebugEventsArgument = "-TSRSessionsDebugEvents";

class DevEventConsoleLogger : public EventTTRLoggerProtocol {
public:
    using ArgumentsProvider = std::function<std::vector<std::string>()>;

    // Over the process's launch arguments, or `arguments` (tests).
    explicit DevEventConsoleLogger(ArgumentsProvider arguments = nullptr);

    void logEvent(const std::shared_ptr<SessionStartEvent>& event, EventLogCompletion completion) override;

    // Logs the dump of `proto` once.
    void prettyPrint(const tessera_apphealth_sessions_SessionEvent& proto) const;
    // The dump's text, lines joined by line feeds.
    std::string describe(const tessera_apphealth_sessions_SessionEvent& proto) const;

    const std::string& commandLineArgument() const { return commandLineArgument_; }

private:
    std::string commandLineArgument_ = kTSRSessionsDebugEventsArgument;
    ArgumentsProvider arguments_;
};
