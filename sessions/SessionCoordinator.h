// Completes a session start event with the installation id and auth token and hands it to the
// event logger. An event whose installation facts did not come is still sent, with both empty; the
// outcome then names the installations failure, unless the hand-over itself failed. Blocks the
// calling thread while it waits for the installation facts: never call it on the main thread.
#pragma once

#include "sessions/EventTTRLoggerProtocol.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/TesseraSessionsError.h"

#include <functional>
#include <memory>
#include <optional>

class SessionStartEvent;

// None for success.
using SessionStartOutcome = std::optional<TesseraSessionsError>;

class SessionCoordinatorProtocol {
public:
    virtual ~SessionCoordinatorProtocol() = default;
    virtual void attemptLoggingSessionStart(const std::shared_ptr<SessionStartEvent>& event,
                                            std::function<void(SessionStartOutcome)> callback) = 0;
};

class SessionCoordinator : public SessionCoordinatorProtocol {
public:
    SessionCoordinator(std::shared_ptr<const InstallationsProtocol> installations,
                       std::shared_ptr<EventTTRLoggerProtocol> eventLogger);

    void attemptLoggingSessionStart(const std::shared_ptr<SessionStartEvent>& event,
                                    std::function<void(SessionStartOutcome)> callback) override;

private:
    std::shared_ptr<const InstallationsProtocol> installations_;
    std::shared_ptr<EventTTRLoggerProtocol> eventLogger_;
};
