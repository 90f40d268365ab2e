// Decides when a session starts: once at once, when listening begins (the launch session), and then
// whenever the application becomes active after it was inactive for longer than the settings'
// session timeout (read at each activation). Activations without an inactivity before them measure
// from the last resignation, or start nothing while the application never resigned. Handlers run
// on the thread that posts the application's notifications (the main thread).
#pragma once

#include "sessions/SettingsProtocol.h"

#include "platform/foundation/NotificationCenter.h"

#include <functional>
#include <memory>

class SessionInitiator : public std::enable_shared_from_this<SessionInitiator> {
public:
    SessionInitiator(std::shared_ptr<const SettingsProtocol> settings,
                     std::function<plat::Date()> currentTimeProvider);

    // Stores the closure, runs it once now, then follows the application's "did resign active" and
    // "did become active" notifications on `center` (the default centre when none) for as long as
    // this object lives.
    void beginListening(std::function<void()> initiateSessionStart,
                        plat::NotificationCenter* center = nullptr);

    void appBackgrounded();
    void appForegrounded();

    plat::Date backgroundTime() const { return backgroundTime_; }

private:
    std::function<plat::Date()> currentTime_;
    std::shared_ptr<const SettingsProtocol> settings_;
    // The platform's distant future until the first resignation.
    plat::Date backgroundTime_{64092211200.0};
    std::function<void()> initiateSessionStart_ = [] {};
    plat::NotificationCenter::Token resignObserver_;
    plat::NotificationCenter::Token activeObserver_;
};
