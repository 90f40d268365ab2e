#include "transport/TTRApplication.h"

#include "transport/TTRConsoleLogger.h"

#include "platform/appkit/Application.h"
#include "platform/foundation/Paths.h"

TTRApplication& TTRApplication::sharedApplication() {
    static auto* instance = new TTRApplication(plat::NotificationCenter::defaultCenter());
    return *instance;
}

TTRApplication::TTRApplication(plat::NotificationCenter& center) : center_(center) {
    terminateObserver_ =
        center_.addObserver(plat::NSApplicationWillTerminateNotification, plat::Object(),
                            [this](const plat::Notification& n) { macOSApplicationWillTerminate(n); });
}

TTRBackgroundIdentifier TTRApplication::beginBackgroundTaskWithName(const std::string& name,
                                                                    std::function<void()> expirationHandler) {
    // No platform object grants background tasks to a desktop process: answer the invalid
    // identifier and never run the handler.
    (void)name;
    (void)expirationHandler;
    return TTRBackgroundIdentifierInvalid;
}

void TTRApplication::endBackgroundTask(TTRBackgroundIdentifier identifier) {
    if (identifier == TTRBackgroundIdentifierInvalid) return;
    TTRLogDebug("Ending background task with ID:%ld was successful", static_cast<int64_t>(identifier));
}

bool TTRApplication::isAppExtension() const {
    std::string bundle = plat::paths::bundleDir().string();
    return bundle.size() >= 6 && bundle.compare(bundle.size() - 6, 6, ".appex") == 0;
}

void TTRApplication::macOSApplicationWillTerminate(const plat::Notification& notification) {
    (void)notification;
    TTRLogDebug("TTRPlatform is sending a notif that the app is terminating.");
    center_.post(kTTRApplicationWillTerminateNotification);
}
