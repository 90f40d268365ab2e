#include "utilities/TULAssertion.h"

#include "platform/log/OSLog.h"

void TULAssertionFailed(const std::string& category, const std::string& text) {
    plat::OSLog("com.tessera.utilities.logger", category).fault(text);
}
