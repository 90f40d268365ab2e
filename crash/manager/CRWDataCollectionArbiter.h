// Whether crash data may be collected and sent: the stored switch ("com.crashwatch.data_collection"
// in the crash reporter's defaults: 1 on, 2 off) wins; then the Info value
// "TesseraCrashwatchCollectionEnabled"; then the app's data-collection default. Decided afresh on
// every call. Its promise is resolved while collection is enabled and pending while it is not, so
// a start-up that waits for it is released when collection is turned on. Thread-safe.
#pragma once

#include "platform/object/Object.h"
#include "promises/Promise.h"

#include <mutex>

class TSRApp;

class CRWDataCollectionArbiter {
public:
    CRWDataCollectionArbiter(std::shared_ptr<const TSRApp> app, plat::Object::Dict appInfo);

    bool isCrashwatchCollectionEnabled() const;
    // Stores the switch (synchronised at once) and moves the promise accordingly.
    void setCrashwatchCollectionEnabled(bool enabled);
    promises::Promise<promises::Void> waitForCrashwatchCollectionEnabled() const;
    bool isLegacyDataCollectionKeyInPlist() const;

    static bool isCrashwatchCollectionEnabledWithApp(const TSRApp* app, const plat::Object::Dict& appInfo);
    // 0 not set, 1 enabled, 2 disabled.
    static int64_t stickySetting();

private:
    mutable std::mutex mutex_;
    promises::Promise<promises::Void> dataCollectionEnabled_;
    bool promiseResolved_ = false;
    std::shared_ptr<const TSRApp> app_;
    plat::Object::Dict appInfo_;
};
