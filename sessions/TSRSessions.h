// The app-session component ("TSRSessions", library "tsr-ses"): it counts the application's usage
// sessions and sends a start event for each on mapping id "2102", target 1001. The launch session
// starts at construction; later ones when the application becomes active after more than the
// session timeout of inactivity. For each new session it tells the subscribers the new id, builds
// the event, waits until every expected subscriber has registered, and then (on a background queue)
// sends the event when a subscriber collects data, the process was sampled in and the settings
// allow sessions. Every reason not to send is one outcome, logged. Made once, for the default app,
// when the app core configures; it lives for the process.
//
// Where the members live: TSRSessions.cpp holds the sessions themselves; TSRSessionsRegistration.cpp
// the class's registration and the component it registers.
#pragma once

#include "sessions/ApplicationInfoProtocol.h"
#include "sessions/SessionCoordinator.h"
#include "sessions/SessionGenerator.h"
#include "sessions/SessionInitiator.h"
#include "sessions/SessionsSubscriber.h"
#include "sessions/SettingsProtocol.h"

#include "core/TSRComponent.h"
#include "platform/foundation/NotificationCenter.h"
#include "promises/Promise.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TSRInstallations;

inline constexpr const char* kTSRSessionsClassName = "TSRSessions";
inline constexpr const char* kTSRSessionsMappingID = "2102";
inline constexpr int64_t kTSRSessionsTarget = 1001;

class TSRSessions : public TSRSessionsProvider, public std::enable_shared_from_this<TSRSessions> {
public:
    static constexpr const char* SessionIDChangedNotificationName = "SessionIDChangedNotificationName";
    using LoggedEventCallback = std::function<void(SessionStartOutcome)>;

    // Makes the class known to the class registry under "TSRSessions", where the app core finds it
    // when it configures. Call before the first app is configured; later calls do nothing.
    static void registerClass();
    // One component: the sessions provider, made when any app is configured, for the default app only.
    static std::vector<std::shared_ptr<TSRComponent>> componentsToRegister();

    // The component of a running application: its own transport, settings from the bundle, the
    // remote document and the defaults, the sampling drawn once, the current date as the clock.
    // Starts the launch session before it returns.
    static std::shared_ptr<TSRSessions> make(const std::string& appID,
                                             std::shared_ptr<TSRInstallations> installations);
    // From given parts; starts the launch session before it returns.
    static std::shared_ptr<TSRSessions>
    make(std::string appID, std::shared_ptr<SessionGenerator> sessionGenerator,
         std::shared_ptr<SessionCoordinatorProtocol> coordinator, std::shared_ptr<SessionInitiator> initiator,
         std::shared_ptr<const ApplicationInfoProtocol> appInfo, std::shared_ptr<SettingsProtocol> settings,
         LoggedEventCallback loggedEventCallback);

    void registerWithSubscriber(std::shared_ptr<TSRSessionsSubscriber> subscriber) override;
    // Tells `listener` the current session at once and every later one as it starts, on the same
    // threads as a subscriber's onSessionChanged, without making it a subscriber: it is never
    // waited for, never asked whether it collects data and adds nothing to the session events. For
    // the application's own view of its sessions. The listener stays for the component's life.
    void addSessionListener(std::function<void(const TSRSessionDetails&)> listener);

    // The sampling decision for a draw k from 0 to 2^53: k / 2^53 <= samplingRate.
    static bool shouldCollectEvents(double samplingRate, uint64_t draw);
    // The same with a draw from the system's random source, uniform over the 2^53 + 1 values.
    static bool shouldCollectEvents(const SettingsProtocol& settings);
    // The message logged for an outcome, with its level.
    static std::pair<int, std::string> logMessage(const SessionStartOutcome& outcome);

    const std::string& appID() const { return appID_; }
    const std::shared_ptr<SessionGenerator>& sessionGenerator() const { return sessionGenerator_; }
    const std::shared_ptr<SettingsProtocol>& settings() const { return settings_; }

    TSRSessions(std::string appID, std::shared_ptr<SessionGenerator> sessionGenerator,
                std::shared_ptr<SessionCoordinatorProtocol> coordinator,
                std::shared_ptr<SessionInitiator> initiator,
                std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                std::shared_ptr<SettingsProtocol> settings, LoggedEventCallback loggedEventCallback);
    // Settles the waits of subscribers that never came, so the chains waiting on them let go.
    ~TSRSessions() override;

private:
    // Calls `listener` with the current session now and on every session change.
    void listen(std::function<void(const TSRSessionDetails&)> listener);
    void beginListening();
    void startSession();
    void checkAndSend(const SessionInfo& session, const std::shared_ptr<SessionStartEvent>& event);

    std::string appID_;
    std::shared_ptr<SessionCoordinatorProtocol> coordinator_;
    std::shared_ptr<SessionInitiator> initiator_;
    std::shared_ptr<SessionGenerator> sessionGenerator_;
    std::shared_ptr<const ApplicationInfoProtocol> appInfo_;
    std::shared_ptr<SettingsProtocol> settings_;
    LoggedEventCallback loggedEventCallback_;
    // Appended at registration and read by the per-session checks, which may overlap with a late
    // registration on another thread: the lock keeps the list whole, the promises keep the order.
    mutable std::mutex subscribersLock_;
    std::vector<std::shared_ptr<TSRSessionsSubscriber>> subscribers_;
    std::map<SessionsSubscriberName, promises::Promise<promises::Void>> subscriberPromises_;
    plat::NotificationCenter notificationCenter_;
    std::vector<plat::NotificationCenter::Token> observers_;
};
