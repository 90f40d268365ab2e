// The leveled logger front of the library components: a message carries a level (3 error ... 7
// debug), a service tag such as "[TesseraCore]", a message code such as "I-COR000001" and a
// printf-style format. The front owns the process-wide debug switches (the launch arguments
// "-TSRDebugEnabled" / "-TSRDebugDisabled" and the persisted "/tessera/debug_mode") and hands each
// message to the utilities logger, which filters, formats and writes it on its own queue. Every
// function is callable from any thread and never fails.
#pragma once

#include "utilities/TULLogger.h"
#include "utilities/TULStringFormat.h"

#include <string>

inline constexpr const char* kTSRLoggerSubsystem = "com.tessera";
inline constexpr const char* kTSRLoggerCore = "[TesseraCore]";
inline constexpr const char* kTSRLoggerAnalytics = "[TesseraAnalytics]";
inline constexpr const char* kTSRLoggerCrash = "[TesseraCrash]";
inline constexpr const char* kTSRLoggerRemoteFlags = "[TesseraRemoteFlags]";
inline constexpr const char* kTSRDisableDebugModeApplicationArgument = "-TSRDebugDisabled";
inline constexpr const char* kTSREnableDebugModeApplicationArgument = "-TSRDebugEnabled";
inline constexpr const char* kTSRPersistedDebugModeKey = "/tessera/debug_mode";

enum TSRLoggerLevel : int {
    TSRLoggerLevelError = 3,
    TSRLoggerLevelWarning = 4,
    TSRLoggerLevelNotice = 5,
    TSRLoggerLevelInfo = 6,
    TSRLoggerLevelDebug = 7,
};

// The one-time set-up: registers the core version with the utilities logger and applies the debug
// switches. "-TSRDebugDisabled" wins over "-TSRDebugEnabled"; the enabling switch persists.
void TSRLoggerInitialize();
// Forces messages of the "[TesseraAnalytics]" service through whatever the level.
void TSRSetAnalyticsDebugMode(bool analyticsDebugMode);
int TSRGetLoggerLevel();
// 3 to 7 only; anything else is refused (logged as I-COR000023) and the level stays.
void TSRSetLoggerLevel(int loggerLevel);
void TSRSetLoggerLevelNotice();
void TSRSetLoggerLevelWarning();
void TSRSetLoggerLevelError();
void TSRSetLoggerLevelDebug();
// Whether a message of `loggerLevel` is written; `analyticsComponent` tells that the caller is the
// analytics component, which the analytics debug mode lets through.
bool TSRIsLoggableLevel(int loggerLevel, bool analyticsComponent);
bool TSRIsLoggableLevelNotice();
bool TSRIsLoggableLevelWarning();
bool TSRIsLoggableLevelError();
bool TSRIsLoggableLevelDebug();

// Logs one message. With `arguments` null the format is the message itself (a "%" stays as is).
void TSRLogBasic(int level, const std::string& service, const std::string& messageCode,
                 const std::string& format, const TULFormatArguments* arguments);
inline void TSRLogBasicError(const std::string& service, const std::string& code, const std::string& format,
                             const TULFormatArguments* arguments) {
    TSRLogBasic(TSRLoggerLevelError, service, code, format, arguments);
}
inline void TSRLogBasicWarning(const std::string& service, const std::string& code, const std::string& format,
                               const TULFormatArguments* arguments) {
    TSRLogBasic(TSRLoggerLevelWarning, service, code, format, arguments);
}
inline void TSRLogBasicNotice(const std::string& service, const std::string& code, const std::string& format,
                              const TULFormatArguments* arguments) {
    TSRLogBasic(TSRLoggerLevelNotice, service, code, format, arguments);
}
inline void TSRLogBasicInfo(const std::string& service, const std::string& code, const std::string& format,
                            const TULFormatArguments* arguments) {
    TSRLogBasic(TSRLoggerLevelInfo, service, code, format, arguments);
}
inline void TSRLogBasicDebug(const std::string& service, const std::string& code, const std::string& format,
                             const TULFormatArguments* arguments) {
    TSRLogBasic(TSRLoggerLevelDebug, service, code, format, arguments);
}

// Whether a message of `level` under `service` would be written now; lets the shorthands below
// skip building their arguments for dropped messages.
bool TSRLogWouldWrite(int level, const std::string& service);

// The shorthands; the trailing values are the format's arguments.
#define TSR_DEFINE_LOG_FUNCTION(name, level)                                                                 \
    template <typename... Args>                                                                              \
    void name(const std::string& service, const std::string& messageCode, const std::string& format,         \
              Args&&... args) {                                                                              \
        if (!TSRLogWouldWrite(level, service)) return;                                                       \
        TULFormatArguments arguments = TULMakeFormatArguments(std::forward<Args>(args)...);                  \
        TSRLogBasic(level, service, messageCode, format, &arguments);                                        \
    }
TSR_DEFINE_LOG_FUNCTION(TSRLogError, TSRLoggerLevelError)
TSR_DEFINE_LOG_FUNCTION(TSRLogWarning, TSRLoggerLevelWarning)
TSR_DEFINE_LOG_FUNCTION(TSRLogNotice, TSRLoggerLevelNotice)
TSR_DEFINE_LOG_FUNCTION(TSRLogInfo, TSRLoggerLevelInfo)
TSR_DEFINE_LOG_FUNCTION(TSRLogDebug, TSRLoggerLevelDebug)
#undef TSR_DEFINE_LOG_FUNCTION

// For callers that hold a finished message: it is written unchanged, never read as a format.
class TSRLoggerWrapper {
public:
    static void logWithLevel(int level, const std::string& service, const std::string& code,
                             const std::string& message);
};

// Test hook: forgets the set-up and the analytics debug mode (and resets the utilities logger), so
// the next call reads the launch arguments and the stored switch again.
void TSRLoggerResetForTesting();
