// Implemented by component instances that want to hear that their app is being deleted.
#pragma once

#include "core/TSRProtocol.h"

#include <memory>

class TSRApp;

class TSRComponentLifecycleMaintainer : public virtual TSRComponentInstance {
public:
    // Called on the deleting thread, with the container's lock held; `app` is null when the app
    // was already gone.
    virtual void appWillBeDeleted(const std::shared_ptr<TSRApp>& app) = 0;
};
