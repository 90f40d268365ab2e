#include "app/AppDelegate.h"

#include "app/AppSessionsSubscriber.h"
#include "app/UnsentCrashReportsAction.h"

#include "core/TSRApp.h"
#include "crash/manager/TSRCrashwatch.h"
#include "installations/TSRInstallations.h"
#include "platform/appkit/Window.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/log/OSLog.h"
#include "sessions/TSRSessions.h"
#include "transport/TTRTransportClasses.h"

void AppDelegate::applicationWillFinishLaunching(const plat::Notification& notification) {
    (void)notification;
    plat::Window::setAllowsAutomaticWindowTabbing(false);
    // The event transport's classes join before the app core configures and runs their load hooks.
    TTRRegisterTransportClasses();
    TSRInstallations::registerClass();
    // The crash reporter starts when the app core configures: from then on this run's crashes are
    // recorded, and the reports of earlier runs are sent.
    TSRCrashwatch::registerClass();
    // The session component starts the launch session while the app core configures; its event
    // goes out once the crash reporter has subscribed, when crash data is collected.
    TSRSessions::registerClass();
    TSRApp::configure();
    AppSessionsSubscriber::registerWithDefaultApp();
    UnsentCrashReportsAction::runFromArguments(plat::ProcessInfo::processInfo().arguments());
    // Asking for the identifier registers the installation in the background (and refreshes its
    // token when due), so every launch keeps the installation known to the service.
    std::shared_ptr<TSRInstallations> installations = TSRInstallations::installations();
    if (!installations) return;
    installations->installationIDWithCompletion(
        [](std::optional<std::string> identifier, std::optional<plat::Error> error) {
            if (identifier)
                plat::consoleLine("Installation: " + *identifier);
            else
                plat::consoleLine("Installation unavailable: " + error->localizedDescription());
        });
}
