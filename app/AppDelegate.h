// The application's delegate: just before launch finishes it turns automatic window tabbing off,
// configures the app core services once (the session component among them, which starts the launch
// session), subscribes the application to the sessions and asks for the installation identifier
// (which registers the installation in the background and prints it); launched with a developer's
// argument it also sends or deletes the crash reports that wait (UnsentCrashReportsAction). A
// configuration fault of the app core is not caught: it ends the process at launch. Main thread only.
#pragma once

#include "platform/appkit/ApplicationDelegate.h"

class AppDelegate : public plat::ApplicationDelegate {
public:
    AppDelegate() = default;
    void applicationWillFinishLaunching(const plat::Notification& notification) override;
};
