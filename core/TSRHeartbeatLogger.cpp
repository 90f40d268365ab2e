#include "core/TSRHeartbeatLogger.h"

#include "core/TSRApp.h"

TSRHeartbeatLogger::TSRHeartbeatLogger(const std::string& appID)
    : TSRHeartbeatLogger(appID, currentUserAgentProvider()) {}

TSRHeartbeatLogger::TSRHeartbeatLogger(const std::string& appID, UserAgentProvider userAgentProvider)
    : TSRHeartbeatLogger(std::make_shared<TSRHeartbeatController>(appID), std::move(userAgentProvider)) {}

TSRHeartbeatLogger::TSRHeartbeatLogger(std::shared_ptr<TSRHeartbeatController> controller,
                                       UserAgentProvider userAgentProvider)
    : heartbeatController_(std::move(controller)), userAgentProvider_(std::move(userAgentProvider)) {}

TSRHeartbeatLogger::UserAgentProvider TSRHeartbeatLogger::currentUserAgentProvider() {
    return [] { return TSRApp::tesseraUserAgent(); };
}

TSRHeartbeatLogger::UserAgentProvider TSRHeartbeatLogger::userAgentProvider() const {
    std::lock_guard guard(providerLock_);
    return userAgentProvider_;
}

void TSRHeartbeatLogger::setUserAgentProvider(UserAgentProvider provider) {
    std::lock_guard guard(providerLock_);
    userAgentProvider_ = std::move(provider);
}

void TSRHeartbeatLogger::log() {
    const UserAgentProvider provider = userAgentProvider();
    heartbeatController_->log(provider ? provider() : std::string());
}

TSRHeartbeatsPayload TSRHeartbeatLogger::flushHeartbeatsIntoPayload() {
    return heartbeatController_->flush();
}

void TSRHeartbeatLogger::flushHeartbeatsIntoPayloadWithCompletionHandler(
    std::function<void(TSRHeartbeatsPayload)> completion) {
    heartbeatController_->flushAsync(std::move(completion));
}

std::optional<std::string> TSRHeartbeatLogger::headerValue() {
    return TSRHeaderValueFromHeartbeatsPayload(flushHeartbeatsIntoPayload());
}

void TSRHeartbeatLogger::asyncHeaderValueWithCompletionHandler(
    std::function<void(std::optional<std::string>)> completion) {
    flushHeartbeatsIntoPayloadWithCompletionHandler(
        [completion = std::move(completion)](TSRHeartbeatsPayload payload) {
            completion(TSRHeaderValueFromHeartbeatsPayload(payload));
        });
}

TSRDailyHeartbeatCode TSRHeartbeatLogger::heartbeatCodeForToday() {
    return heartbeatController_->flushHeartbeatFromToday().isEmpty() ? TSRDailyHeartbeatCodeNone
                                                                     : TSRDailyHeartbeatCodeSome;
}

std::optional<std::string> TSRHeaderValueFromHeartbeatsPayload(const TSRHeartbeatsPayload& payload) {
    if (payload.isEmpty()) return std::nullopt;
    return payload.headerValue();
}
