// The application's delegate: just before launch finishes it turns automatic window tabbing off,
// configures the app core services once (the session component among them, which starts the launch
// session), subscribes the application to the sessions and asks for the installation identifier
// (which registers the installation in the background and prints it); launched with a developer's
// argument it also sends or deletes the crash reports that wait (UnsentCrashReportsAction). A
// configuration fault of the app core is not caught: it ends the process at launch. Launched
// without a signed-in user it disconnects a tunnel left up (a Log out the process did not live to
// finish). The tunnel's service runs inside this process, so before the application terminates it
// lets a disconnect in progress finish, Log out's among them, for up to kStopLimit. Main thread only.
#pragma once

#include "platform/appkit/ApplicationDelegate.h"
#include "platform/dispatch/Clock.h"

class AppDelegate : public plat::ApplicationDelegate {
public:
    // How long a quit waits for a disconnect in progress.
    static constexpr plat::Duration kStopLimit = std::chrono::seconds(2);

    AppDelegate() = default;
    void applicationWillFinishLaunching(const plat::Notification& notification) override;
    void applicationWillTerminate(const plat::Notification& notification) override;
};
