// The scene counterpart of the application-delegate proxy. This platform has no scenes, so it
// answers the same switch and proxies nothing.
#pragma once

#include "platform/runtime/Runtime.h"

// Holds a scene interceptor weakly.
struct TULSceneZeroingWeakContainer {
    plat::rt::WeakId object;
};

class TULSceneDelegateSwizzler {
public:
    static bool isSceneDelegateProxyEnabled();
    static void proxyOriginalSceneDelegate() {}
};
