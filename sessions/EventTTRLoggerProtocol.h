// Where a completed session start event goes: the event transport, and the debug printing beside it.
#pragma once

#include "platform/object/Error.h"

#include <functional>
#include <memory>
#include <optional>

class SessionStartEvent;

// None on success.
using EventLogCompletion = std::function<void(std::optional<plat::Error> error)>;

class EventTTRLoggerProtocol {
public:
    virtual ~EventTTRLoggerProtocol() = default;
    virtual void logEvent(const std::shared_ptr<SessionStartEvent>& event, EventLogCompletion completion) = 0;
};
