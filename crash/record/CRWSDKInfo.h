// The version and generator name that every crash report carries.
#pragma once

#include <string>

// The app core's version ("3.2.0").
std::string CRWSDKVersion();
// "Crashwatch macOS SDK/" followed by the version.
std::string CRWSDKGeneratorName();
