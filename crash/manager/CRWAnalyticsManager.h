// The crash reporter's side of an analytics component: it subscribes to that component's events
// as breadcrumbs in the crash log ("$A$:" and the event as JSON) and tells it of each packaged crash
// ("_ae") for crash-free statistics. No component of this program provides analytics, so the
// manager only logs that none was found; everything else waits for a component that registers
// under TSRAnalyticsInteropProtocol().
#pragma once

#include "core/TSRProtocol.h"
#include "platform/object/Object.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

// Hears the events an analytics component logs.
class TSRAnalyticsInteropListener {
public:
    virtual ~TSRAnalyticsInteropListener() = default;
    virtual void messageTriggered(const std::string& name, const plat::Object& parameters) = 0;
};

// What an analytics component offers the crash reporter. Listeners are held weakly: the crash
// reporter's listener itself holds the component.
class TSRAnalyticsInterop : public virtual TSRComponentInstance {
public:
    virtual void registerAnalyticsListener(std::weak_ptr<TSRAnalyticsInteropListener> listener,
                                           const std::string& origin) = 0;
    virtual void logEventWithOrigin(const std::string& origin, const std::string& name,
                                    const plat::Object::Dict& parameters) = 0;
};

// The protocol an analytics component is looked up under: "TSRAnalyticsInterop".
TSRProtocol TSRAnalyticsInteropProtocol();

// The event as JSON text; none for an absent or null event and, with a warning in the report's
// "sdk.log", for one JSON cannot carry.
std::optional<std::string> CRWAnalyticsEventDictionaryToJSON(const plat::Object& event);

class CRWAnalyticsManager : public TSRAnalyticsInteropListener,
                            public std::enable_shared_from_this<CRWAnalyticsManager> {
public:
    // `analytics` may be null. Made with std::make_shared, as the listener is registered weakly.
    explicit CRWAnalyticsManager(std::shared_ptr<TSRAnalyticsInterop> analytics);

    // Subscribes once to the analytics component's events; without one, logs that none was found.
    void registerAnalyticsListener();
    // Writes the event into this run's crash log as a breadcrumb.
    void messageTriggered(const std::string& name, const plat::Object& parameters) override;
    // Tells `analytics` (when there is one) of a crash at `timestamp` seconds since 1970.
    static void logCrashWithTimeStamp(double timestamp,
                                      const std::shared_ptr<TSRAnalyticsInterop>& analytics);

    bool registeredAnalyticsEventListener() const { return registeredAnalyticsEventListener_; }

private:
    std::atomic<bool> registeredAnalyticsEventListener_{false};
    std::shared_ptr<TSRAnalyticsInterop> analytics_;
};
