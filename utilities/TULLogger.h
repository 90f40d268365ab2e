// The leveled logger under all library logging: messages are filtered by one process-wide maximum
// level, formatted into "<version> - <category>[<code>] <text>" and written to the system log
// under a subsystem and category from a private serial queue. Every function is thread-safe.
#pragma once

#include "platform/log/OSLog.h"
#include "utilities/TULStringFormat.h"

#include <string>

enum TULLoggerLevel : int {
    TULLoggerLevelError = 3,
    TULLoggerLevelWarning = 4,
    TULLoggerLevelNotice = 5,
    TULLoggerLevelInfo = 6,
    TULLoggerLevelDebug = 7,
    TULLoggerLevelMin = TULLoggerLevelError,
    TULLoggerLevelMax = TULLoggerLevelDebug,
};

// The one-time set-up: level 5 (notice), the client queue and the log-object table. Every entry
// point that reads the level runs it first, except TULGetLoggerLevel.
void TULLoggerInitialize();
// Debug mode: every level is shown. Ignored in an application that came from the store.
void TULLoggerForceDebug();
// Sets the maximum level; 3 to 7 only (anything else logs an error and changes nothing). In an
// application from the store only levels below 5 can be set.
void TULSetLoggerLevel(int level);
// The current maximum level, read without initialising (0 before the set-up ran).
int TULGetLoggerLevel();
bool TULIsLoggableLevel(int level);
void TULLoggerRegisterVersion(std::string version);
plat::OSLogType TULLoggerLevelToOSLogType(int level);

// Writes one message. `arguments` null means `message` is the text itself (a "%" in it stays);
// otherwise the message is a format for them. Filtered messages cost one comparison. Returns at
// once; the line is written on the client queue.
void TULOSLogBasic(int level, const std::string& subsystem, const std::string& category, bool forceLog,
                   const std::string& messageCode, const std::string& message,
                   const TULFormatArguments* arguments);

// Blocks until every line queued so far has been written (tests, and orderly shutdown).
void TULLoggerWaitUntilWritten();
// Test hook: back to the state before the set-up (level 0, no debug mode, no version).
void TULLoggerResetForTesting();

// Writes at `level` with the trailing values as the format's arguments; a filtered message builds
// no argument list.
template <typename... Args>
void TULOSLogAtLevel(int level, const std::string& subsystem, const std::string& category, bool forceLog,
                     const std::string& messageCode, const std::string& message, Args&&... args) {
    if (!forceLog && !TULIsLoggableLevel(level)) return;
    TULFormatArguments arguments = TULMakeFormatArguments(std::forward<Args>(args)...);
    TULOSLogBasic(level, subsystem, category, forceLog, messageCode, message, &arguments);
}

// The leveled shorthands: levels 3 (error) to 7 (debug).
template <typename... Args>
void TULOSLogError(const std::string& subsystem, const std::string& category, bool forceLog,
                   const std::string& messageCode, const std::string& message, Args&&... args) {
    TULOSLogAtLevel(TULLoggerLevelError, subsystem, category, forceLog, messageCode, message,
                    std::forward<Args>(args)...);
}
template <typename... Args>
void TULOSLogWarning(const std::string& subsystem, const std::string& category, bool forceLog,
                     const std::string& messageCode, const std::string& message, Args&&... args) {
    TULOSLogAtLevel(TULLoggerLevelWarning, subsystem, category, forceLog, messageCode, message,
                    std::forward<Args>(args)...);
}
template <typename... Args>
void TULOSLogNotice(const std::string& subsystem, const std::string& category, bool forceLog,
                    const std::string& messageCode, const std::string& message, Args&&... args) {
    TULOSLogAtLevel(TULLoggerLevelNotice, subsystem, category, forceLog, messageCode, message,
                    std::forward<Args>(args)...);
}
template <typename... Args>
void TULOSLogInfo(const std::string& subsystem, const std::string& category, bool forceLog,
                  const std::string& messageCode, const std::string& message, Args&&... args) {
    TULOSLogAtLevel(TULLoggerLevelInfo, subsystem, category, forceLog, messageCode, message,
                    std::forward<Args>(args)...);
}
template <typename... Args>
void TULOSLogDebug(const std::string& subsystem, const std::string& category, bool forceLog,
                   const std::string& messageCode, const std::string& message, Args&&... args) {
    TULOSLogAtLevel(TULLoggerLevelDebug, subsystem, category, forceLog, messageCode, message,
                    std::forward<Args>(args)...);
}

// For callers that hold a ready argument list.
class TULLoggerWrapper {
public:
    static void logWithLevel(int level, const std::string& subsystem, const std::string& category,
                             const std::string& messageCode, const std::string& message,
                             const TULFormatArguments& arguments);
    // Under the subsystem "com.tessera.utilities.logger", with the service as the category.
    static void logWithLevel(int level, const std::string& service, const std::string& code,
                             const std::string& message, const TULFormatArguments& arguments);
};
