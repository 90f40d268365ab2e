// What the session component offers other components, and what they offer it: the subscriber
// protocol (told each new session id, asked whether it collects data), the subscriber names, the
// session details handed to subscribers, and the provider protocol under which the component is
// registered and looked up.
#pragma once

#include "core/TSRProtocol.h"

#include <memory>
#include <optional>
#include <string>

enum class SessionsSubscriberName : int { Unknown = 0, Crashwatch = 1, Performance = 2 };

// The name for a raw value; none outside 0 to 2.
std::optional<SessionsSubscriberName> SessionsSubscriberNameFromRawValue(int rawValue);
// "Crashwatch", "Performance", and "Unknown" for anything else.
std::string SessionsSubscriberNameDescription(SessionsSubscriberName name);

// The session a subscriber is told about; no id before the first session.
class TSRSessionDetails {
public:
    explicit TSRSessionDetails(std::optional<std::string> sessionId) : sessionId_(std::move(sessionId)) {}
    const std::optional<std::string>& sessionId() const { return sessionId_; }
    void setSessionId(std::optional<std::string> sessionId) { sessionId_ = std::move(sessionId); }

private:
    std::optional<std::string> sessionId_;
};

class TSRSessionsSubscriber {
public:
    virtual ~TSRSessionsSubscriber() = default;
    // Called at registration with the current session and again on every new session, on the
    // thread that starts sessions (the main thread).
    virtual void onSessionChanged(const TSRSessionDetails& session) = 0;
    // Asked on a background queue before each session event is sent.
    virtual bool isDataCollectionEnabled() const = 0;
    virtual SessionsSubscriberName sessionsSubscriberName() const = 0;
};

class TSRSessionsProvider : public virtual TSRComponentInstance {
public:
    // Adds a subscriber, tells it the current session and, when its name was declared as expected,
    // lets the session events that waited for it go out.
    virtual void registerWithSubscriber(std::shared_ptr<TSRSessionsSubscriber> subscriber) = 0;
};

// The protocol the component is registered and looked up under: "TSRSessionsProvider".
TSRProtocol TSRSessionsProviderProtocol();
