#include "crash/manager/CRWNotificationManager.h"

#include "crash/capture/CRWUserLogging.h"

namespace {
constexpr const char* kInBackgroundKey = "com.crashwatch.in-background";
} // namespace

void CRWNotificationManager::registerNotificationListener(plat::NotificationCenter& center) {
    CRWUserLoggingWriteInternalKeyValue(kInBackgroundKey, "0");
    willBecomeActive_ = center.addObserver(
        "NSApplicationWillBecomeActiveNotification", plat::Object(),
        [](const plat::Notification&) { CRWUserLoggingRecordInternalKeyValue(kInBackgroundKey, false); });
    didResignActive_ = center.addObserver(
        "NSApplicationDidResignActiveNotification", plat::Object(),
        [](const plat::Notification&) { CRWUserLoggingRecordInternalKeyValue(kInBackgroundKey, true); });
}
