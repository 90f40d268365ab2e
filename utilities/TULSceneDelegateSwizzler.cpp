#include "utilities/TULSceneDelegateSwizzler.h"

#include "utilities/TULAppDelegateSwizzler.h"

bool TULSceneDelegateSwizzler::isSceneDelegateProxyEnabled() {
    return TULAppDelegateSwizzler::isAppDelegateProxyEnabled();
}
