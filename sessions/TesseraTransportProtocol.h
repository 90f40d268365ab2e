// The session code's view of the event transport: a new event of its mapping id and target, and
// sending it with one outcome (an error, or none when it was written). TTRTransportSessionsAdapter
// is the transport seen this way; a write reported as not done without an error becomes the
// error "writeFailure" (domain "TesseraTransportProtocolErrors", code 0).
#pragma once

#include "sessions/EventTTRLoggerProtocol.h"

#include <memory>

class TTREvent;
class TTRTransport;

inline constexpr const char* kTesseraTransportProtocolErrorsDomain = "TesseraTransportProtocolErrors";

class TesseraTransportProtocol {
public:
    virtual ~TesseraTransportProtocol() = default;
    virtual std::shared_ptr<TTREvent> eventForTransport() = 0;
    virtual void logTTREvent(const std::shared_ptr<TTREvent>& event, EventLogCompletion completion) = 0;

    static plat::Error writeFailure();
};

class TTRTransportSessionsAdapter : public TesseraTransportProtocol {
public:
    explicit TTRTransportSessionsAdapter(std::shared_ptr<TTRTransport> transport)
        : transport_(std::move(transport)) {}

    std::shared_ptr<TTREvent> eventForTransport() override;
    // Sends the event as a data event; the completion runs where the transport reports.
    void logTTREvent(const std::shared_ptr<TTREvent>& event, EventLogCompletion completion) override;

    const std::shared_ptr<TTRTransport>& transport() const { return transport_; }

private:
    std::shared_ptr<TTRTransport> transport_;
};
