// The core's handle on the heartbeat controller of one app id; every call forwards unchanged and
// runs on the caller's thread as the controller's does.
#pragma once

#include "heartbeat/HeartbeatController.h"
#include "heartbeat/TSRHeartbeatsPayload.h"

#include <functional>
#include <memory>
#include <string>

class TSRHeartbeatController {
public:
    TSRHeartbeatController() = delete; // a controller handle always names an app id
    // A controller on the shared storage of `appID` and the current time.
    explicit TSRHeartbeatController(const std::string& appID);
    // The same on a given controller (tests give it a date source).
    explicit TSRHeartbeatController(std::shared_ptr<heartbeat::HeartbeatController> controller);

    void log(const std::string& agent) { heartbeatController_->log(agent); }
    TSRHeartbeatsPayload flush() { return TSRHeartbeatsPayload(heartbeatController_->flush()); }
    // `completion` runs exactly once, on the heartbeat storage's queue.
    void flushAsync(std::function<void(TSRHeartbeatsPayload)> completion);
    TSRHeartbeatsPayload flushHeartbeatFromToday() {
        return TSRHeartbeatsPayload(heartbeatController_->flushHeartbeatFromToday());
    }

private:
    std::shared_ptr<heartbeat::HeartbeatController> heartbeatController_;
};
