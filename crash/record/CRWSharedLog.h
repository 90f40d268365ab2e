// The crash reporter's messages for the developer, through the shared leveled logger under the
// service "[TesseraCrashwatch]" and the code "I-CRW000000". Not for crash-time code (the logger
// allocates and hops queues); that writes to the internal log (CRWSDKFileLog.h) instead.
#pragma once

#include "core/TSRLogger.h"

inline constexpr const char* kCRWLoggerService = "[TesseraCrashwatch]";
inline constexpr const char* kCRWLoggerMessageCode = "I-CRW000000";

// Each takes a printf-style format and its values (see TULStringFormat.h).
template <typename... Args> void CRWErrorLog(const std::string& format, Args&&... args) {
    TSRLogError(kCRWLoggerService, kCRWLoggerMessageCode, format, std::forward<Args>(args)...);
}
template <typename... Args> void CRWWarningLog(const std::string& format, Args&&... args) {
    TSRLogWarning(kCRWLoggerService, kCRWLoggerMessageCode, format, std::forward<Args>(args)...);
}
template <typename... Args> void CRWInfoLog(const std::string& format, Args&&... args) {
    TSRLogInfo(kCRWLoggerService, kCRWLoggerMessageCode, format, std::forward<Args>(args)...);
}
template <typename... Args> void CRWDebugLog(const std::string& format, Args&&... args) {
    TSRLogDebug(kCRWLoggerService, kCRWLoggerMessageCode, format, std::forward<Args>(args)...);
}
