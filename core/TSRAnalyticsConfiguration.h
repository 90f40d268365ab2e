// The process-wide analytics-collection switch: persisted in the standard user defaults as 1
// (enabled) or 2 (disabled) and announced by notification after each change. Thread-safe.
#pragma once

#include "platform/object/Object.h"

#include <string>

inline constexpr const char* kTSRAnalyticsConfigurationSetEnabledNotification =
    "TSRAnalyticsConfigurationSetEnabledNotification";
inline constexpr const char* kTSRAnalyticsMeasurementEnabledStateKey =
    "/tessera/measurement/measurement_enabled_state";

class TSRAnalyticsConfiguration {
public:
    // Never destroyed.
    static TSRAnalyticsConfiguration& sharedInstance();

    void setAnalyticsCollectionEnabled(bool analyticsCollectionEnabled) {
        setAnalyticsCollectionEnabled(analyticsCollectionEnabled, true);
    }
    // Stores the switch when `shouldPersist`, then posts the notification with the value.
    void setAnalyticsCollectionEnabled(bool analyticsCollectionEnabled, bool shouldPersist);
    // Posts `name` from this object with the user info {name: value}; nothing when the name is
    // empty or the value absent.
    void postNotificationName(const std::string& name, const plat::Object& value);

    // The sender object of this configuration's notifications.
    plat::Object senderObject() const;

private:
    TSRAnalyticsConfiguration() = default;
};
