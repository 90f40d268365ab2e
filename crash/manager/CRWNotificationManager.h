// Keeps "com.crashwatch.in-background" in this run's crash metadata current: "0" once the crash
// context is up, then "1" or "0" as the application resigns or regains being active. The
// observers live as long as the manager.
#pragma once

#include "platform/foundation/NotificationCenter.h"

class CRWNotificationManager {
public:
    // Writes the initial state and starts observing `center`'s application notifications.
    void registerNotificationListener(
        plat::NotificationCenter& center = plat::NotificationCenter::defaultCenter());

private:
    plat::NotificationCenter::Token willBecomeActive_;
    plat::NotificationCenter::Token didResignActive_;
};
