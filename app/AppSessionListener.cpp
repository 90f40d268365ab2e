#include "app/AppSessionListener.h"

#include "core/TSRApp.h"
#include "core/TSRComponentContainer.h"
#include "platform/log/OSLog.h"
#include "sessions/TSRSessions.h"

bool AppSessionListener::listenToDefaultApp() {
    std::shared_ptr<TSRApp> app = TSRApp::defaultApp();
    if (!app || !app->container()) return false;
    auto sessions = std::dynamic_pointer_cast<TSRSessions>(
        app->container()->instanceFor<TSRSessionsProvider>(TSRSessionsProviderProtocol()));
    if (!sessions) return false;
    sessions->addSessionListener([](const TSRSessionDetails& session) {
        if (session.sessionId()) plat::consoleLine("Session: " + *session.sessionId());
    });
    return true;
}
