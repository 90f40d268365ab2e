// The application's delegate: told of each lifecycle step just before the matching notification
// goes out on the default notification centre. Every method has an empty default. Main thread.
#pragma once

#include "platform/foundation/NotificationCenter.h"

namespace plat {

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    virtual void applicationWillFinishLaunching(const Notification& notification) { (void)notification; }
    virtual void applicationDidFinishLaunching(const Notification& notification) { (void)notification; }
    virtual void applicationWillBecomeActive(const Notification& notification) { (void)notification; }
    virtual void applicationDidBecomeActive(const Notification& notification) { (void)notification; }
    virtual void applicationDidResignActive(const Notification& notification) { (void)notification; }
    virtual void applicationWillUpdate(const Notification& notification) { (void)notification; }
    virtual void applicationWillTerminate(const Notification& notification) { (void)notification; }
};

} // namespace plat
