#include "app/AppDelegate.h"

#include "core/TSRApp.h"
#include "platform/appkit/Window.h"

void AppDelegate::applicationWillFinishLaunching(const plat::Notification& notification) {
    (void)notification;
    plat::Window::setAllowsAutomaticWindowTabbing(false);
    TSRApp::configure();
}
