#include "app/AppDelegate.h"

#include "app/AppSessionListener.h"
#include "app/ContentViewModel.h"
#include "app/UnsentCrashReportsAction.h"
#include "app/classes/VPNHelper.h"

#include "core/TSRApp.h"
#include "crash/manager/TSRCrashwatch.h"
#include "installations/TSRInstallations.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/runtime/Runtime.h"
#include "platform/vpn/NEVPNManager.h"
#include "sessions/TSRSessions.h"
#include "transport/TTRTransportClasses.h"

#include <cstdlib>

namespace {

// For the crash reporter's end-to-end tests only: with $VELMORA_TEST_RAISE_EXCEPTION set, once
// crash capture is up a main-queue block sends the application object a message it does not
// answer, so the runtime raises its exception and the application's top level reports it.
void raiseForTestingWhenAsked() {
    if (std::getenv("VELMORA_TEST_RAISE_EXCEPTION") == nullptr) return;
    std::shared_ptr<TSRCrashwatch> crashwatch = TSRCrashwatch::crashwatch();
    if (!crashwatch) return;
    crashwatch->startup().then(plat::DispatchQueue::main(), [](const bool& started) {
        plat::mainQueue().async(
            [] { plat::rt::sendMessage(plat::rt::sharedApplication(), "velmoraTestMessageNobodyAnswers"); });
        return started;
    });
}

} // namespace

void AppDelegate::applicationWillFinishLaunching(const plat::Notification& notification) {
    (void)notification;
    plat::Window::setAllowsAutomaticWindowTabbing(false);
    // The event transport's classes join before the app core configures and runs their load hooks.
    TTRRegisterTransportClasses();
    TSRInstallations::registerClass();
    // The crash reporter starts when the app core configures: from then on this run's crashes are
    // recorded, and the reports of earlier runs are sent. An exception that reaches the
    // application's top level ends the process, so the crash reporter records it with its stack.
    plat::UserDefaults::standard().registerDefaults({{"NSApplicationCrashOnExceptions", plat::Object(true)}});
    TSRCrashwatch::registerClass();
    // The session component starts the launch session while the app core configures; its event
    // goes out once the crash reporter has subscribed, when crash data is collected.
    TSRSessions::registerClass();
    TSRApp::configure();
    AppSessionListener::listenToDefaultApp();
    UnsentCrashReportsAction::runFromArguments(plat::ProcessInfo::processInfo().arguments());
    raiseForTestingWhenAsked();
    // Log out clears the credentials before it disconnects: signed out with the tunnel up means the
    // process ended in between, and the disconnect it asked for is done now.
    if (ContentViewModel::initialState() == ContentViewModel::ProgramState::needLogin)
        VPNHelper::shared().disconnectLeftoverTunnel();
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

void AppDelegate::applicationWillTerminate(const plat::Notification& notification) {
    (void)notification;
    // The status notifications go to the main queue without waiting on it, so the stop runs to its
    // end while this thread waits. One that takes longer stays recorded and the next launch ends it.
    if (!VPNHelper::shared().manager().finishPendingStop(kStopLimit))
        plat::consoleLine("The tunnel was still going down at the quit; the next launch completes it.");
}
