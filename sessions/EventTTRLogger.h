// Hands a completed session start event to the event transport: wrapped in a transport event (which
// takes the event's bytes then) with QoS tier 3, shown by the debug printer, then sent. Runs on the
// caller's thread, the per-session check's background queue.
#pragma once

#include "sessions/EventTTRLoggerProtocol.h"
#include "sessions/TesseraTransportProtocol.h"

class EventTTRLogger : public EventTTRLoggerProtocol {
public:
    EventTTRLogger(std::shared_ptr<TesseraTransportProtocol> tesseraTransport,
                   std::shared_ptr<EventTTRLoggerProtocol> devEventConsoleLogger);

    void logEvent(const std::shared_ptr<SessionStartEvent>& event, EventLogCompletion completion) override;

private:
    std::shared_ptr<TesseraTransportProtocol> tesseraTransport_;
    std::shared_ptr<EventTTRLoggerProtocol> devEventConsoleLogger_;
};
