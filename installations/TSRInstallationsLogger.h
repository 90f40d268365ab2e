// The service tag under which the installation identity logs.
#pragma once

#include "core/TSRLogger.h"

inline constexpr const char* kTSRLoggerInstallations = "[TesseraInstallations]";
