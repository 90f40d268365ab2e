// The transport's application wrapper. A desktop process is never suspended, so there is no
// platform object that grants background tasks: every request answers the invalid identifier 0 and
// its expiration handler never runs (the bookkeeping stays with the callers). It relays the
// platform's will-terminate notification as "TTRApplicationWillTerminateNotification".
#pragma once

#include "transport/TTRApplicationProtocol.h"

#include "platform/foundation/NotificationCenter.h"

#include <atomic>

inline constexpr const char* kTTRApplicationDidEnterBackgroundNotification =
    "TTRApplicationDidEnterBackgroundNotification";
inline constexpr const char* kTTRApplicationWillEnterForegroundNotification =
    "TTRApplicationWillEnterForegroundNotification";
inline constexpr const char* kTTRApplicationWillTerminateNotification =
    "TTRApplicationWillTerminateNotification";

class TTRApplication final : public TTRApplicationProtocol {
public:
    // The process-wide wrapper, observing the default notification centre; never destroyed.
    static TTRApplication& sharedApplication();
    // A wrapper observing `center` (tests).
    explicit TTRApplication(plat::NotificationCenter& center);

    TTRBackgroundIdentifier beginBackgroundTaskWithName(const std::string& name,
                                                        std::function<void()> expirationHandler) override;
    void endBackgroundTask(TTRBackgroundIdentifier identifier) override;
    bool isRunningInBackground() const override { return isRunningInBackground_.load(); }
    void setIsRunningInBackground(bool value) { isRunningInBackground_.store(value); }
    // Whether the main bundle is an application extension (its path ends in ".appex").
    bool isAppExtension() const;

    // The observer of the platform's will-terminate notification: posts the transport's own, on the
    // delivering thread.
    void macOSApplicationWillTerminate(const plat::Notification& notification);

private:
    plat::NotificationCenter& center_;
    std::atomic<bool> isRunningInBackground_{false};
    plat::NotificationCenter::Token terminateObserver_;
};
