// The core's handle on a heartbeats payload: its header value and whether it is empty.
#pragma once

#include "heartbeat/HeartbeatsPayload.h"

class TSRHeartbeatsPayload final : public heartbeat::HTTPHeaderRepresentable {
public:
    TSRHeartbeatsPayload() = delete; // a payload handle always wraps a payload
    explicit TSRHeartbeatsPayload(heartbeat::HeartbeatsPayload payload)
        : heartbeatsPayload_(std::move(payload)) {}

    std::string headerValue() const override { return heartbeatsPayload_.headerValue(); }
    bool isEmpty() const { return heartbeatsPayload_.isEmpty(); }
    const heartbeat::HeartbeatsPayload& heartbeatsPayload() const { return heartbeatsPayload_; }

private:
    heartbeat::HeartbeatsPayload heartbeatsPayload_;
};
