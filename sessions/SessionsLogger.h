// The service tag and message code under which the session component logs, and the one call its
// finished messages go through.
#pragma once

#include "core/TSRLogger.h"

#include <string>

inline constexpr const char* kTSRLoggerSessions = "[TesseraSessions]";
inline constexpr const char* kTSRSessionsMessageCode = "I-SES000000";

// Logs a finished message (never read as a format) at `level` under the sessions tag and code.
inline void TSRSessionsLog(int level, const std::string& message) {
    TSRLoggerWrapper::logWithLevel(level, kTSRLoggerSessions, kTSRSessionsMessageCode, message);
}
