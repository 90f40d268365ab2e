// The application's own subscriber of the session component. The component sends a session's start
// event only once every subscriber declared as expected has registered and one of them collects
// data; the crash reporter, the subscriber the component is built for, is not part of this program,
// so the application declares itself instead. It subscribes under the name Unknown, so the event
// still reports crash reporting as not installed; it collects data as the default app's
// data-collection switch says, and prints each new session id. Main thread only.
#pragma once

#include "sessions/SessionsSubscriber.h"

#include <memory>

class TSRApp;

class AppSessionsSubscriber : public TSRSessionsSubscriber {
public:
    // Declares the application as an expected subscriber. Call before the app core configures.
    static void declare();
    // Registers a subscriber with the default app's session component; null when there is none.
    static std::shared_ptr<AppSessionsSubscriber> registerWithDefaultApp();

    explicit AppSessionsSubscriber(std::weak_ptr<TSRApp> app) : app_(std::move(app)) {}

    void onSessionChanged(const TSRSessionDetails& session) override;
    bool isDataCollectionEnabled() const override;
    SessionsSubscriberName sessionsSubscriberName() const override { return SessionsSubscriberName::Unknown; }

private:
    std::weak_ptr<TSRApp> app_;
};
