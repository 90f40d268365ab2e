#include "transport/TTRLifecycle.h"

#include "transport/TTRApplication.h"
#include "transport/TTRConsoleLogger.h"
#include "transport/TTRFlatFileStorage.h"
#include "transport/TTRRegistrar.h"

TTRLifecycle& TTRLifecycle::sharedInstance() {
    static auto* instance = new TTRLifecycle(
        plat::NotificationCenter::defaultCenter(), TTRApplication::sharedApplication(),
        [] { return TTRFlatFileStorage::sharedInstance()->uploadCoordinator(); },
        TTRRegistrar::sharedInstance());
    return *instance;
}

TTRLifecycle::TTRLifecycle(plat::NotificationCenter& center, TTRApplicationProtocol& application,
                           CoordinatorSource coordinator, std::shared_ptr<TTRRegistrar> registrar)
    : application_(application), coordinator_(std::move(coordinator)), registrar_(std::move(registrar)) {
    background_ = center.addObserver(
        kTTRApplicationDidEnterBackgroundNotification, plat::Object(),
        [this](const plat::Notification& n) { applicationDidEnterBackgroundNotification(n); });
    foreground_ = center.addObserver(
        kTTRApplicationWillEnterForegroundNotification, plat::Object(),
        [this](const plat::Notification& n) { applicationWillEnterForegroundNotification(n); });
    terminate_ =
        center.addObserver(kTTRApplicationWillTerminateNotification, plat::Object(),
                           [this](const plat::Notification& n) { applicationWillTerminateNotification(n); });
}

void TTRLifecycle::applicationDidEnterBackgroundNotification(const plat::Notification&) {
    if (auto coordinator = coordinator_ ? coordinator_() : nullptr) {
        TTRLogDebug("Signaling TTRUploadCoordinator that the app is backgrounding.");
        coordinator->appWillBackground(application_);
    }
    TTRLogDebug("Signaling TTRRegistrar that the app is backgrounding.");
    registrar_->appWillBackground(application_);
}

void TTRLifecycle::applicationWillEnterForegroundNotification(const plat::Notification&) {
    if (auto coordinator = coordinator_ ? coordinator_() : nullptr) {
        TTRLogDebug("Signaling TTRUploadCoordinator that the app is foregrounding.");
        coordinator->appWillForeground(application_);
    }
    TTRLogDebug("Signaling TTRRegistrar that the app is foregrounding.");
    registrar_->appWillForeground(application_);
}

void TTRLifecycle::applicationWillTerminateNotification(const plat::Notification&) {
    if (auto coordinator = coordinator_ ? coordinator_() : nullptr) {
        TTRLogDebug("Signaling TTRUploadCoordinator that the app is terminating.");
        coordinator->appWillTerminate(application_);
    }
    TTRLogDebug("Signaling TTRRegistrar that the app is terminating.");
    registrar_->appWillTerminate(application_);
}
