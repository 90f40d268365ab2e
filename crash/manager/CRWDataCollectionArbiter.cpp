#include "crash/manager/CRWDataCollectionArbiter.h"

#include "core/TSRApp.h"
#include "crash/manager/CRWSettings.h"
#include "crash/report/CRWUserDefaults.h"

namespace {
constexpr const char* kStickySettingKey = "com.crashwatch.data_collection";
constexpr const char* kInfoKey = "TesseraCrashwatchCollectionEnabled";
constexpr const char* kLegacyInfoKey = "tessera_crashwatch_collection_enabled";
} // namespace

CRWDataCollectionArbiter::CRWDataCollectionArbiter(std::shared_ptr<const TSRApp> app,
                                                   plat::Object::Dict appInfo)
    : app_(std::move(app)), appInfo_(std::move(appInfo)) {
    if (isCrashwatchCollectionEnabledWithApp(app_.get(), appInfo_)) {
        dataCollectionEnabled_ = promises::Promise<promises::Void>(promises::Void{});
        promiseResolved_ = true;
    }
}

int64_t CRWDataCollectionArbiter::stickySetting() {
    return CRWUserDefaults::standardUserDefaults().integerForKey(kStickySettingKey);
}

bool CRWDataCollectionArbiter::isCrashwatchCollectionEnabledWithApp(const TSRApp* app,
                                                                    const plat::Object::Dict& appInfo) {
    int64_t sticky = stickySetting();
    if (sticky != 0) return sticky == 1;
    auto it = appInfo.find(kInfoKey);
    if (it != appInfo.end() && (it->second.isString() || it->second.isNumber()))
        return CRWSettingsBool(it->second).value_or(false);
    return app ? app->isDataCollectionDefaultEnabled() : true;
}

bool CRWDataCollectionArbiter::isCrashwatchCollectionEnabled() const {
    return isCrashwatchCollectionEnabledWithApp(app_.get(), appInfo_);
}

void CRWDataCollectionArbiter::setCrashwatchCollectionEnabled(bool enabled) {
    CRWUserDefaults& defaults = CRWUserDefaults::standardUserDefaults();
    defaults.setInteger(enabled ? 1 : 2, kStickySettingKey);
    defaults.synchronize();
    std::lock_guard guard(mutex_);
    if (enabled && !promiseResolved_) {
        dataCollectionEnabled_.fulfill(promises::Void{});
        promiseResolved_ = true;
    } else if (!enabled && promiseResolved_) {
        dataCollectionEnabled_ = promises::Promise<promises::Void>::pending();
        promiseResolved_ = false;
    }
}

promises::Promise<promises::Void> CRWDataCollectionArbiter::waitForCrashwatchCollectionEnabled() const {
    std::lock_guard guard(mutex_);
    return dataCollectionEnabled_;
}

bool CRWDataCollectionArbiter::isLegacyDataCollectionKeyInPlist() const {
    return appInfo_.find(kLegacyInfoKey) != appInfo_.end();
}
