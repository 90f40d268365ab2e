// What the installations client needs of an app's heartbeat logger: log today's heartbeat and hand
// the stored ones out as the "X-tessera-client" header value.
#pragma once

#include <functional>
#include <optional>
#include <string>

enum TSRDailyHeartbeatCode : int {
    TSRDailyHeartbeatCodeNone = 0,
    TSRDailyHeartbeatCodeSome = 2,
};

class TSRHeartbeatLoggerProtocol {
public:
    virtual ~TSRHeartbeatLoggerProtocol() = default;
    virtual void log() = 0;
    // The header value of the stored heartbeats, which are taken out; none when there were none.
    virtual std::optional<std::string> headerValue() = 0;
    virtual void
    asyncHeaderValueWithCompletionHandler(std::function<void(std::optional<std::string>)> completion) = 0;
    virtual TSRDailyHeartbeatCode heartbeatCodeForToday() = 0;
};
