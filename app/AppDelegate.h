// The application's delegate: just before launch finishes it turns automatic window tabbing off and
// configures the app core services once. A configuration fault of the app core is not caught: it
// ends the process at launch. Main thread only.
#pragma once

#include "platform/appkit/ApplicationDelegate.h"

class AppDelegate : public plat::ApplicationDelegate {
public:
    AppDelegate() = default;
    void applicationWillFinishLaunching(const plat::Notification& notification) override;
};
