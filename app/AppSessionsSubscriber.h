// The application's own listener of the session component: it prints each new session id. The crash
// reporter is the subscriber the component waits for and whose data-collection switch decides
// whether a session event is sent; this listener is never expected and never counts as collecting,
// so it cannot send an event the crash reporter's switch holds back. Main thread only.
#pragma once

#include "sessions/SessionsSubscriber.h"

#include <memory>

class TSRApp;

class AppSessionsSubscriber : public TSRSessionsSubscriber {
public:
    // Registers a subscriber with the default app's session component; null when there is none.
    static std::shared_ptr<AppSessionsSubscriber> registerWithDefaultApp();

    explicit AppSessionsSubscriber(std::weak_ptr<TSRApp> app) : app_(std::move(app)) {}

    void onSessionChanged(const TSRSessionDetails& session) override;
    bool isDataCollectionEnabled() const override;
    SessionsSubscriberName sessionsSubscriberName() const override { return SessionsSubscriberName::Unknown; }

private:
    std::weak_ptr<TSRApp> app_;
};
