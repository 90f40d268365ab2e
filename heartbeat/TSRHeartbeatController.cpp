#include "heartbeat/TSRHeartbeatController.h"

TSRHeartbeatController::TSRHeartbeatController(const std::string& appID)
    : heartbeatController_(std::make_shared<heartbeat::HeartbeatController>(appID)) {}

TSRHeartbeatController::TSRHeartbeatController(std::shared_ptr<heartbeat::HeartbeatController> controller)
    : heartbeatController_(std::move(controller)) {}

void TSRHeartbeatController::flushAsync(std::function<void(TSRHeartbeatsPayload)> completion) {
    heartbeatController_->flushAsync(
        [completion = std::move(completion)](heartbeat::HeartbeatsPayload payload) {
            completion(TSRHeartbeatsPayload(std::move(payload)));
        });
}
