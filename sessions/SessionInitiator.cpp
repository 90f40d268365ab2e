#include "sessions/SessionInitiator.h"

#include "platform/appkit/Application.h"

SessionInitiator::SessionInitiator(std::shared_ptr<const SettingsProtocol> settings,
                                   std::function<plat::Date()> currentTimeProvider)
    : currentTime_(std::move(currentTimeProvider)), settings_(std::move(settings)) {}

void SessionInitiator::beginListening(std::function<void()> initiateSessionStart,
                                      plat::NotificationCenter* center) {
    initiateSessionStart_ = std::move(initiateSessionStart);
    initiateSessionStart_();
    plat::NotificationCenter& notifications = center ? *center : plat::NotificationCenter::defaultCenter();
    std::weak_ptr<SessionInitiator> weak = weak_from_this();
    resignObserver_ = notifications.addObserver(plat::NSApplicationDidResignActiveNotification,
                                                plat::Object(), [weak](const plat::Notification&) {
                                                    if (auto self = weak.lock()) self->appBackgrounded();
                                                });
    activeObserver_ = notifications.addObserver(plat::NSApplicationDidBecomeActiveNotification,
                                                plat::Object(), [weak](const plat::Notification&) {
                                                    if (auto self = weak.lock()) self->appForegrounded();
                                                });
}

void SessionInitiator::appBackgrounded() {
    backgroundTime_ = currentTime_();
}

void SessionInitiator::appForegrounded() {
    const double elapsed = currentTime_().secondsSince1970 - backgroundTime_.secondsSince1970;
    if (elapsed > settings_->sessionTimeout()) initiateSessionStart_();
}
