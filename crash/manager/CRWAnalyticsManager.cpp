#include "crash/manager/CRWAnalyticsManager.h"

#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWSDKFileLog.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/JSONSerialization.h"

#include <cmath>

namespace {
constexpr const char* kOrigin = "crw";
} // namespace

TSRProtocol TSRAnalyticsInteropProtocol() {
    return TSRProtocol::of<TSRAnalyticsInterop>("TSRAnalyticsInterop");
}

std::optional<std::string> CRWAnalyticsEventDictionaryToJSON(const plat::Object& event) {
    if (event.isAbsent() || event.isNull()) return std::nullopt;
    if (!plat::JSONSerialization::isValidJSONObject(event)) {
        CRWSDKLogWarn("Tessera Analytics event is not valid JSON");
        return std::nullopt;
    }
    std::optional<std::string> json = plat::JSONSerialization::data(event);
    if (!json) CRWSDKLogWarn("Unable to convert Tessera Analytics event to json");
    return json;
}

CRWAnalyticsManager::CRWAnalyticsManager(std::shared_ptr<TSRAnalyticsInterop> analytics)
    : analytics_(std::move(analytics)) {}

void CRWAnalyticsManager::registerAnalyticsListener() {
    if (registeredAnalyticsEventListener_) return;
    if (!analytics_) {
        CRWDebugLog("[Crashwatch:Crash:Reports:Event] Tessera Analytics SDK not detected. Crash-free "
                    "statistics and breadcrumbs will not be reported");
        return;
    }
    analytics_->registerAnalyticsListener(weak_from_this(), kOrigin);
    CRWDebugLog("[Crashwatch:Crash:Reports:Event] Registered Tessera Analytics event listener to receive "
                "breadcrumb logs");
    registeredAnalyticsEventListener_ = true;
}

void CRWAnalyticsManager::messageTriggered(const std::string& name, const plat::Object& parameters) {
    // An absent value cannot sit in a dictionary that is written out; it reads as JSON null.
    plat::Object event(
        plat::Object::Dict{{"name", plat::Object(name)},
                           {"parameters", parameters.isAbsent() ? plat::Object::null() : parameters}});
    if (std::optional<std::string> json = CRWAnalyticsEventDictionaryToJSON(event)) CRWLog("$A$:%@", *json);
}

void CRWAnalyticsManager::logCrashWithTimeStamp(double timestamp,
                                                const std::shared_ptr<TSRAnalyticsInterop>& analytics) {
    if (!analytics) return;
    CRWDebugLog("[Crashwatch:Crash:Reports:Event] Sending app_exception event to Tessera Analytics for "
                "crash-free statistics");
    // Milliseconds, rounded half to even as the default floating-point rounding mode does.
    const int64_t milliseconds = static_cast<int64_t>(std::nearbyint(timestamp * 1000));
    analytics->logEventWithOrigin(kOrigin, "_ae",
                                  {{"timestamp", plat::Object(plat::Number(milliseconds))},
                                   {"fatal", plat::Object(plat::Number(int64_t{1}))}});
}
