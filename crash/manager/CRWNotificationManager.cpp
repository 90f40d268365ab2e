#include "crash/manager/CRWNotificationManager.h"

#include "crash/capture/CRWUserLogging.h"

namespace {
constexpr const char* kInBackgroundKey = "com.crashwatch.in-background";
// The state as a number, so it reads "0" and "1" like the value written at start-up (a boolean
// would read "false" and "true").
const plat::Number kNo(int32_t{0});
const plat::Number kYes(int32_t{1});
} // namespace

void CRWNotificationManager::registerNotificationListener(plat::NotificationCenter& center) {
    CRWUserLoggingWriteInternalKeyValue(kInBackgroundKey, "0");
    willBecomeActive_ = center.addObserver(
        "NSApplicationWillBecomeActiveNotification", plat::Object(),
        [](const plat::Notification&) { CRWUserLoggingRecordInternalKeyValue(kInBackgroundKey, kNo); });
    didResignActive_ = center.addObserver(
        "NSApplicationDidResignActiveNotification", plat::Object(),
        [](const plat::Notification&) { CRWUserLoggingRecordInternalKeyValue(kInBackgroundKey, kYes); });
}
