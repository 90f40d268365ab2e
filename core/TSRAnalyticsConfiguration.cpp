#include "core/TSRAnalyticsConfiguration.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"

#include <memory>

TSRAnalyticsConfiguration& TSRAnalyticsConfiguration::sharedInstance() {
    static auto* shared = new TSRAnalyticsConfiguration;
    return *shared;
}

void TSRAnalyticsConfiguration::setAnalyticsCollectionEnabled(bool analyticsCollectionEnabled,
                                                              bool shouldPersist) {
    if (shouldPersist) {
        plat::UserDefaults& defaults = plat::UserDefaults::standard();
        defaults.set(kTSRAnalyticsMeasurementEnabledStateKey,
                     plat::Object(int64_t{analyticsCollectionEnabled ? 1 : 2}));
        defaults.synchronize();
    }
    postNotificationName(kTSRAnalyticsConfigurationSetEnabledNotification,
                         plat::Object(analyticsCollectionEnabled));
}

void TSRAnalyticsConfiguration::postNotificationName(const std::string& name, const plat::Object& value) {
    if (name.empty() || value.isAbsent()) return;
    plat::NotificationCenter::defaultCenter().post(name, senderObject(), plat::Object::Dict{{name, value}});
}

plat::Object TSRAnalyticsConfiguration::senderObject() const {
    // The shared instance outlives every notification; the handle does not own it.
    return plat::Object(plat::Opaque::make<TSRAnalyticsConfiguration>(
        std::shared_ptr<const TSRAnalyticsConfiguration>(this, [](const TSRAnalyticsConfiguration*) {}),
        "TSRAnalyticsConfiguration"));
}
