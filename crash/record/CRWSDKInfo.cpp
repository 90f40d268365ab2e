#include "crash/record/CRWSDKInfo.h"

#include "core/TSRVersion.h"

std::string CRWSDKVersion() {
    return TSRVersion();
}

std::string CRWSDKGeneratorName() {
    return "Crashwatch macOS SDK/" + CRWSDKVersion();
}
