// Runs at crash time. The unwinder's lines in the internal log ("sdk.log"): the level word padded
// to six characters, "[function:line] ", the text and a line feed. A walk passes many trace lines,
// so each is first checked against the log's threshold here, inline, before any call is made.
#pragma once

#include "crash/record/CRWContext.h"
#include "crash/record/CRWSDKFileLog.h"

#include <cstdint>

// True when the internal log exists and its threshold admits the level.
inline bool CRWUnwindLogWanted(uint32_t level) {
    const CRWWritableContext* writable = _crwContext.writable;
    return writable != nullptr && __atomic_load_n(&writable->logLevel, __ATOMIC_RELAXED) <= level;
}

#define CRWUnwindLogAt(level, macro, text, ...)                                                              \
    do {                                                                                                     \
        if (CRWUnwindLogWanted(level)) macro(text "\n" __VA_OPT__(, ) __VA_ARGS__);                          \
    } while (0)

#define CRWUnwindLogDebug(text, ...)                                                                         \
    CRWUnwindLogAt(CRWSDKLogLevelDebug, CRWSDKLogDebug, text __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogInfo(text, ...)                                                                          \
    CRWUnwindLogAt(CRWSDKLogLevelInfo, CRWSDKLogInfo, text __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogWarn(text, ...)                                                                          \
    CRWUnwindLogAt(CRWSDKLogLevelWarn, CRWSDKLogWarn, text __VA_OPT__(, ) __VA_ARGS__)
#define CRWUnwindLogError(text, ...)                                                                         \
    CRWUnwindLogAt(CRWSDKLogLevelError, CRWSDKLogError, text __VA_OPT__(, ) __VA_ARGS__)
