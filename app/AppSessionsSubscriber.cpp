#include "app/AppSessionsSubscriber.h"

#include "core/TSRApp.h"
#include "core/TSRComponentContainer.h"
#include "platform/log/OSLog.h"

std::shared_ptr<AppSessionsSubscriber> AppSessionsSubscriber::registerWithDefaultApp() {
    std::shared_ptr<TSRApp> app = TSRApp::defaultApp();
    if (!app || !app->container()) return nullptr;
    auto provider = app->container()->instanceFor<TSRSessionsProvider>(TSRSessionsProviderProtocol());
    if (!provider) return nullptr;
    auto subscriber = std::make_shared<AppSessionsSubscriber>(app);
    provider->registerWithSubscriber(subscriber);
    return subscriber;
}

void AppSessionsSubscriber::onSessionChanged(const TSRSessionDetails& session) {
    if (session.sessionId()) plat::consoleLine("Session: " + *session.sessionId());
}

bool AppSessionsSubscriber::isDataCollectionEnabled() const {
    return false;
}
