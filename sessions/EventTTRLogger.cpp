#include "sessions/EventTTRLogger.h"

#include "sessions/SessionStartEvent.h"

#include "transport/TTREvent.h"
#include "transport/TTRTransport.h"

plat::Error TesseraTransportProtocol::writeFailure() {
    return plat::Error::withMessage(kTesseraTransportProtocolErrorsDomain, 0, "writeFailure");
}

std::shared_ptr<TTREvent> TTRTransportSessionsAdapter::eventForTransport() {
    return transport_->eventForTransport();
}

void TTRTransportSessionsAdapter::logTTREvent(const std::shared_ptr<TTREvent>& event,
                                              EventLogCompletion completion) {
    transport_->sendDataEvent(event, [completion = std::move(completion)](
                                         bool wasWritten, const std::optional<plat::Error>& error) {
        if (!completion) return;
        if (error)
            completion(error);
        else if (wasWritten)
            completion(std::nullopt);
        else
            completion(TesseraTransportProtocol::writeFailure());
    });
}

EventTTRLogger::EventTTRLogger(std::shared_ptr<TesseraTransportProtocol> tesseraTransport,
                               std::shared_ptr<EventTTRLoggerProtocol> devEventConsoleLogger)
    : tesseraTransport_(std::move(tesseraTransport)),
      devEventConsoleLogger_(std::move(devEventConsoleLogger)) {}

void EventTTRLogger::logEvent(const std::shared_ptr<SessionStartEvent>& event,
                              EventLogCompletion completion) {
    std::shared_ptr<TTREvent> transportEvent = tesseraTransport_->eventForTransport();
    if (!transportEvent) {
        if (completion) completion(TesseraTransportProtocol::writeFailure());
        return;
    }
    // The transport event renders the session event's bytes here: every field is set by now.
    transportEvent->setDataObject(event);
    transportEvent->setQosTier(3);
    if (devEventConsoleLogger_) devEventConsoleLogger_->logEvent(event, [](std::optional<plat::Error>) {});
    tesseraTransport_->logTTREvent(transportEvent, std::move(completion));
}
