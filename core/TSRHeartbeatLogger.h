// The heartbeat front of one app: logs a usage heartbeat under the current user-agent string and
// hands the stored heartbeats out as a payload or header value. It has no lock of its own; the
// heartbeat controller serialises storage on its queue. The flushing calls block the caller until
// the storage queue ran them, so never call them from that queue.
#pragma once

#include "core/TSRHeartbeatLoggerProtocol.h"
#include "heartbeat/TSRHeartbeatController.h"
#include "heartbeat/TSRHeartbeatsPayload.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TSRHeartbeatLogger : public TSRHeartbeatLoggerProtocol {
public:
    using UserAgentProvider = std::function<std::string()>;

    // With the process's user-agent string (TSRApp::tesseraUserAgent).
    explicit TSRHeartbeatLogger(const std::string& appID);
    TSRHeartbeatLogger(const std::string& appID, UserAgentProvider userAgentProvider);
    // On a given controller (tests give it their own dates).
    TSRHeartbeatLogger(std::shared_ptr<TSRHeartbeatController> controller,
                       UserAgentProvider userAgentProvider);

    static UserAgentProvider currentUserAgentProvider();
    UserAgentProvider userAgentProvider() const;
    void setUserAgentProvider(UserAgentProvider provider);

    // Records a heartbeat for the current user agent when the controller's once-a-day rule allows.
    void log() override;
    TSRHeartbeatsPayload flushHeartbeatsIntoPayload();
    // `completion` runs on the heartbeat storage's queue.
    void
    flushHeartbeatsIntoPayloadWithCompletionHandler(std::function<void(TSRHeartbeatsPayload)> completion);
    std::optional<std::string> headerValue() override;
    // `completion` runs on the heartbeat storage's queue.
    void asyncHeaderValueWithCompletionHandler(
        std::function<void(std::optional<std::string>)> completion) override;
    TSRDailyHeartbeatCode heartbeatCodeForToday() override;

private:
    std::shared_ptr<TSRHeartbeatController> heartbeatController_;
    mutable std::mutex providerLock_;
    UserAgentProvider userAgentProvider_;
};

// None for an empty payload, else its header value.
std::optional<std::string> TSRHeaderValueFromHeartbeatsPayload(const TSRHeartbeatsPayload& payload);
